// Base of the message databases over an iPhone sms.db: the file-relay folder
// the file sits in, the contacts cache and recovery database beside it, the
// country its numbers are formatted in, the start every chats() shares, and
// the test that tells which of the two schemas a file needs.
#pragma once

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QString>

#include "absmessagedb.h"
#include "countrylibdb.h"
#include "ioscontactsmemdb.h"
#include "messagerecycledb.h"

class AbsIOSMessageDb : public AbsMessageDb
{
public:
    ~AbsIOSMessageDb() override;

    // Where the sms.db of a cache or local-database folder lies: the folder
    // holding file-relay/, as the constructor takes it.
    static QString smsDbPathIn(const QDir& dir);

    // kIOS6Schema when the file holds the tables chat, handle,
    // chat_handle_join, message and chat_message_join (names compared
    // exactly), else kIOS5Schema. The file is opened read-write without
    // creating it; a missing or damaged file throws the wrapper's error.
    static int checkDbType(const QString& path);

    // The sms.db file this object reads, and its table of countries (the
    // recovery reads the file's bytes and formats the numbers it finds).
    const QString& iosDbPath() const { return smsDbPath; }
    // The folder the object was made on (the one holding file-relay/).
    QDir folder() const { return QDir(QFileInfo(fileRelayDir.absolutePath()).absolutePath()); }
    CountryLibDb& countryLib() { return countries; }
    const _CountryInfo& ownCountry() const { return country; }

protected:
    // `dir` is the cache folder holding file-relay/, ct-phone.db and
    // recycle.db; `country` formats numbers stored without a country. Touches
    // no file.
    AbsIOSMessageDb(const QDir& dir, const _CountryInfo& country);

    // Country rows by ISO code, looked up once per code within one call.
    using CountryCache = QHash<QString, _CountryInfo>;
    const _CountryInfo& countryOf(const QString& code, CountryCache& cache);

    // What every chats() starts with: the file open, the contacts cache open
    // where it can be, and the set's records to fill.
    __MsgData& beginChats(MsgData& data);

    QDir fileRelayDir;
    IOSContactsMemDb contacts;
    MessageRecycleDb recycle;
    CountryLibDb countries;
    _CountryInfo country;
    QString smsDbPath;
};
