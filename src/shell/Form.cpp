#include "shell/Form.h"

#include <QCloseEvent>
#include <QShowEvent>

#include "shell/AppContext.h"

Form::Form(AppContext &context, QWidget *parent) : QDialog(parent), ctx(context)
{
}

void Form::activate()
{
    if (!m_loaded) {
        m_loaded = true;
        Form_Load();
    }
    Form_Activate();
}

void Form::showModal(Form &child)
{
    ctx.showModal(child, this);
}

void Form::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        activate();
}

void Form::closeEvent(QCloseEvent *event)
{
    if (!Form_QueryUnload()) {
        event->ignore();
        return;
    }
    if (ctx.AppExiting) {
        event->accept();
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    hide();
}

void Form::reject()
{
    close();
}
