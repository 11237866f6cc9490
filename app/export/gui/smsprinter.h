// Printing messages: a print preview on A4 portrait paper with 20-point
// margins (PDF output when no printer is set up), whose pages are drawn with
// the printed page layout every time the preview asks for them.
#pragma once

#include <QList>
#include <QObject>

class QPrinter;
struct _MsgMessage;

class SMSPrinter : public QObject
{
    Q_OBJECT
public:
    explicit SMSPrinter(QObject* parent = nullptr);

    // Shows the modal preview and returns when it has closed. The messages
    // must stay unchanged until then.
    void printSMS(const QList<_MsgMessage*>& messages);

public slots:
    // Draws every kept message on `printer`, pages numbered from 1.
    void onPaintRequested(QPrinter* printer);

private:
    QList<_MsgMessage*> m_messages;
};
