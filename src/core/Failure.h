#pragma once

#include <QString>

#include <stdexcept>

namespace core {

// The one way the core says that an operation failed. It carries the description that the
// window's error report shows; the core itself never shows anything.
class Failure : public std::runtime_error
{
public:
    explicit Failure(const QString& description)
        : std::runtime_error(description.toStdString()), m_description(description)
    {
    }

    const QString& description() const noexcept { return m_description; }

private:
    QString m_description;
};

// Thrown from a yield once the program has been asked to end (the window was closed while a long
// command was waiting in the event loop). It is not a failure: nothing reports it, every handler
// lets it unwind so that files are closed and temporary files removed on the way out.
class Abandoned : public std::exception
{
public:
    const char* what() const noexcept override { return "the program is ending"; }
};

} // namespace core
