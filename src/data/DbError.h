#pragma once

#include <stdexcept>

#include <QString>

// One exception type for every database failure: a number and a description,
// which the error box shows and start-up inspects.
class DbError : public std::runtime_error
{
public:
    DbError(int number, const QString &description)
        : std::runtime_error(description.toStdString()), m_number(number),
          m_description(description)
    {
    }

    int number() const { return m_number; }
    QString description() const { return m_description; }

private:
    int m_number;
    QString m_description;
};
