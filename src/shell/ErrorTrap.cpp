#include "shell/ErrorTrap.h"

#include <exception>

#include "data/DbError.h"
#include "shell/Prompter.h"

QString applicationErrorText(const QString &description, const QString &module,
                             const QString &procedure, int line)
{
    return description + QStringLiteral("\r\n") + QStringLiteral("in Pathmere2021/08/31.") + module
           + QLatin1Char('.') + procedure + QLatin1Char(' ') + QStringLiteral("at line ")
           + QString::number(line) + QStringLiteral("\r\r")
           + QStringLiteral("Please email screenshot of this message to ") + supportAddress();
}

void ShowApplicationError(Prompter &prompter, const QString &description, const QString &module,
                          const QString &procedure, int line)
{
    prompter.message(applicationErrorText(description, module, procedure, line),
                     QStringLiteral("Application Error"), MsgIcon::Exclamation, MsgButtons::OK);
}

bool trapped(Prompter &prompter, const QString &module, const QString &procedure, int line,
             const std::function<void()> &body)
{
    QString description;
    try {
        body();
        return true;
    } catch (const DbError &e) {
        if (e.number() == kDatabaseReplacedError) {
            // Not a fault of this program: one plain message, and the window
            // keeps what was typed for the next Save.
            prompter.message(e.description(), applicationTitle(), MsgIcon::Exclamation,
                             MsgButtons::OK);
            return false;
        }
        description = e.description();
    } catch (const std::exception &e) {
        description = QString::fromUtf8(e.what());
    } catch (...) {
        description = QStringLiteral("Unexpected error");
    }
    ShowApplicationError(prompter, description, module, procedure, line);
    return false;
}

Steps::Steps(Prompter &prompter, QString module, QString procedure)
    : m_prompter(prompter), m_module(std::move(module)), m_procedure(std::move(procedure))
{
}

Steps &Steps::operator()(const std::function<void()> &body)
{
    const int line = m_line;
    m_line += 2;
    if (m_stopped)
        return *this;
    if (!trapped(m_prompter, m_module, m_procedure, line, body))
        ++m_failures;
    return *this;
}
