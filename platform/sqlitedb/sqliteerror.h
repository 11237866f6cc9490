// The exception every throwing call of the database wrapper raises; its text
// is SQLite's own message (UTF-8), shown to the user unchanged.
#pragma once

#include <stdexcept>
#include <string>

class Sqlite3Error : public std::runtime_error
{
public:
    Sqlite3Error(int code, const std::string& message) : std::runtime_error(message), m_code(code) {}
    int code() const { return m_code; }

private:
    int m_code;
};
