#pragma once

#include <QDialog>

class AppContext;

// The common window behaviour: load runs once; activation runs each time the
// window is shown and again when a modal window it opened returns; a close
// request (close box, Cancel, Escape) hides the window while the application
// is not exiting. Form_QueryUnload may refuse a close.
class Form : public QDialog
{
    Q_OBJECT
public:
    explicit Form(AppContext &ctx, QWidget *parent = nullptr);

    // Runs the load (first time only) and then the activation.
    void activate();
    bool loaded() const { return m_loaded; }

protected:
    virtual void Form_Load() {}
    virtual void Form_Activate() {}
    // Return false to keep the window open.
    virtual bool Form_QueryUnload() { return true; }

    // Shows child modally with this window as owner.
    void showModal(Form &child);

    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void reject() override; // Escape is a close request

    AppContext &ctx;

private:
    bool m_loaded = false;
};
