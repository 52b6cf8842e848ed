#pragma once

#include <functional>

#include <QString>

class AppContext;
class SingleInstance;

enum class StartWindow { None, Login, Setup };

// The start-up sequence. Returns the window to show, or None when the
// process has been ended (engine missing, second instance).
StartWindow Main(AppContext &ctx, SingleInstance &instance,
                 const std::function<QString()> &engineProbe);

// Shows the window that Main chose.
void showStartWindow(AppContext &ctx, StartWindow which);
