#pragma once

#include <functional>

#include <QString>

class Prompter;

inline QString supportAddress() { return QStringLiteral("support@medlantis.example"); }

// The text of the "Application Error" box.
QString applicationErrorText(const QString &description, const QString &module,
                             const QString &procedure, int line);
void ShowApplicationError(Prompter &prompter, const QString &description, const QString &module,
                          const QString &procedure, int line);

// A procedure that traps its errors runs as numbered steps (100, 102, 104, ...
// in source order). A step that throws shows the error box with its number and
// the next step still runs. A step may call stop() to skip the rest.
//
//     Steps step(ctx.prompter(), "frmPatientList", "listPatients");
//     step([&] { ... });   // line 100
//     step([&] { ... });   // line 102
class Steps
{
public:
    Steps(Prompter &prompter, QString module, QString procedure);

    Steps &operator()(const std::function<void()> &body);
    void stop() { m_stopped = true; }
    bool stopped() const { return m_stopped; }
    // True once any step has shown the error box.
    bool failed() const { return m_failures > 0; }
    int nextLine() const { return m_line; }

private:
    Prompter &m_prompter;
    QString m_module;
    QString m_procedure;
    int m_line = 100;
    int m_failures = 0;
    bool m_stopped = false;
};

// Runs body; on an exception shows the error box for that line and returns false.
bool trapped(Prompter &prompter, const QString &module, const QString &procedure, int line,
             const std::function<void()> &body);
