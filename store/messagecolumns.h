// The columns of the message table and the _MsgMessage field behind each:
// the one list that the iOS 6+ reader and writer and the recovery database
// walk, so that a column added to the model is added once.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

#include "msgrecords.h"
#include "slicearena.h"
#include "sqlitedb.h"
#include "textpool.h"

struct MessageColumn
{
    enum Kind {
        Int,        // a 32-bit number
        Date,       // date21 seconds; nanoseconds in the files of newer phones
        Text,       // a text of its own per message
        SharedText, // a text that repeats across messages (services, accounts)
        Int64,
        Blob,
    };
    enum Flag {
        SkipEmptyText = 1, // an empty text is not written: the column default stands
        Later = 2,         // added by later iOS versions: absent from older files and the recovery database
        RowLink = 4,       // a row id of another table: a writer may put its own in
    };

    const char* name;
    Kind kind;
    int flags;
    int _MsgMessage::*intField;
    QString _MsgMessage::*textField;
    qint64 _MsgMessage::*int64Field;
    QByteArray _MsgMessage::*blobField;
    RareText _MsgMessage::*rareField; // a Text kept as a RareText, in place of textField

    bool has(Flag flag) const { return (flags & flag) != 0; }
    // A Text or SharedText column's field, whichever way the record keeps it.
    const QString& text(const _MsgMessage& msg) const { return textField ? msg.*textField : (msg.*rareField).value(); }
    void setText(_MsgMessage& msg, const QString& value) const
    {
        if (textField)
            msg.*textField = value;
        else
            msg.*rareField = value;
    }
};

// Every column but the row id, in the order of the first iOS 6 schema, the
// later ones after it; for range-for: `for (const MessageColumn& col : messageColumns())`.
struct MessageColumnList
{
    const MessageColumn* first;
    const MessageColumn* last;
    const MessageColumn* begin() const { return first; }
    const MessageColumn* end() const { return last; }
};
MessageColumnList messageColumns();

// A date column in the model's unit, date21 seconds; files of newer phones
// hold nanoseconds. A value that does not fit the model reads as 0.
int readMessageDate(const Sqlite3Cursor& c, int column, bool nanoseconds);
// The same for a value already read.
int messageDate(qint64 value, bool nanoseconds);

// Reads message rows of one statement into records. The columns are looked up
// once, when it is made, and read by position for every row; texts that
// repeat across rows share their buffer.
class MessageRowReader
{
public:
    // `withLater`: also the Later columns (an absent one reads as 0 or empty).
    // `nanosecondDates`: the statement's dates count nanoseconds.
    MessageRowReader(const Sqlite3Cursor& c, bool withLater, bool nanosecondDates);

    // The row's row id into ROWID and every column into its field.
    void read(_MsgMessage& msg);

private:
    template <typename T>
    struct At
    {
        int position;
        T _MsgMessage::*field;
    };

    const Sqlite3Cursor& c;
    const bool nanoseconds;
    const int rowid;
    std::vector<At<int>> ints, dates;
    // The positions of `ints` then `dates`, read in one call per row into `numbers`.
    std::vector<int> numberPositions;
    std::vector<qint64> numbers;
    std::vector<At<QString>> texts, sharedTexts;
    std::vector<At<RareText>> rareTexts, rareSharedTexts;
    std::vector<At<qint64>> int64s;
    std::vector<At<QByteArray>> blobs;
    TextPool pool;
    // The texts of the rows read: one allocation per block of rows, not per
    // text. Blocks grow to eight megabytes, so that a large file's texts lie
    // on huge pages.
    TextSliceArena arena{4 * 1024 * 1024};
};

// Whether a row of the message sets the column: texts marked SkipEmptyText
// and empty blobs are left out, so that the column default stands.
bool messageSetsColumn(const MessageColumn& col, const _MsgMessage& msg);
// The column's value of the message into the row of `insert` at `position`,
// where the message sets it; dates in nanoseconds when asked. RowLink
// columns carry the record's own values.
void setMessageColumn(Sqlite3Insert& insert, int position, const MessageColumn& col, const _MsgMessage& msg,
                      bool nanosecondDates);

// The message as a row to insert: texts marked SkipEmptyText and empty blobs
// are left out (the column default stands), a Later column goes in only where
// `tableHas` says the table has it, dates in nanoseconds when asked. RowLink
// columns carry the record's own values.
Sqlite3Row messageRow(const _MsgMessage& msg, bool nanosecondDates, const std::function<bool(const char*)>& tableHas);
