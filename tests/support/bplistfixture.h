// Hand-made binary property lists for tests of hostile input: each object is
// given as its raw bytes (marker and content) and references are one byte,
// so that any count, reference, offset or trailer field can be set to a value
// no writer would produce.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

class BplistFixture
{
public:
    struct Trailer
    {
        quint8 offsetSize = 2;
        quint8 refSize = 1;
        quint64 count = 0;       // set to the number of objects
        quint64 top = 0;
        quint64 tableOffset = 0; // set to where the table is written
    };

    // Adds an object's bytes; returns its reference.
    int add(const QByteArray& object);
    // Replaces the bytes of object `ref` (to refer to objects added later).
    void set(int ref, const QByteArray& object);
    // The list with its offset table and trailer; `change` may alter the
    // trailer's fields, `offsets` the offset of each object.
    QByteArray bytes(const std::function<void(Trailer&)>& change = {},
                     const std::function<void(QList<quint64>&)>& offsets = {}) const;

    static QByteArray marker(int kind, quint64 count); // with the extended count from 15 on
    static QByteArray ascii(const QByteArray& text);
    static QByteArray utf16(const QString& text);
    static QByteArray integer(quint8 value);
    static QByteArray data(const QByteArray& bytes);
    static QByteArray uid(quint8 value);
    static QByteArray array(const QList<int>& refs);
    static QByteArray dict(const QList<int>& keys, const QList<int>& values);

private:
    QList<QByteArray> m_objects;
};
