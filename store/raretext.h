// A text field that nearly every record leaves null (a subject, a service
// centre, a group's new name): the room of one pointer while null, the text
// on the heap once set. It reads as the QString it holds, null and empty
// kept apart, so callers treat it as a QString.
#pragma once

#include <QString>

#include <memory>

class RareText
{
public:
    RareText() = default;
    RareText(const QString& text) { *this = text; }
    RareText(const RareText& other) { *this = other.value(); }
    RareText& operator=(const RareText& other)
    {
        if (this != &other)
            *this = other.value();
        return *this;
    }
    RareText(RareText&&) noexcept = default;
    RareText& operator=(RareText&&) noexcept = default;

    RareText& operator=(const QString& text)
    {
        if (text.isNull())
            m_text.reset();
        else if (m_text)
            *m_text = text;
        else
            m_text = std::make_unique<QString>(text);
        return *this;
    }
    RareText& operator=(const char* text) { return *this = QString::fromUtf8(text); }

    const QString& value() const { return m_text ? *m_text : nullText(); }
    operator const QString&() const { return value(); }
    bool isNull() const { return !m_text; }
    bool isEmpty() const { return !m_text || m_text->isEmpty(); }

    friend bool operator==(const RareText& a, const QString& b) { return a.value() == b; }
    friend bool operator!=(const RareText& a, const QString& b) { return a.value() != b; }

private:
    static const QString& nullText()
    {
        static const QString null;
        return null;
    }

    std::unique_ptr<QString> m_text;
};
