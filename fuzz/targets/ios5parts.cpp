// The blobs of an iOS 5 message database: a chat's participant list, an MMS
// part (data, content type, file name) and an iMessage's attachment list and
// body, written into a copy of the sample database and read back by the
// reader; part files may land only inside the database's folder.
//
// Pieces: participants, part data, part content type, part file name,
// attachment list, attributed body.
#include "fuzzsupport.h"

#include "countrylibdb.h"
#include "ios5messagedb.h"
#include "ios5smsfixture.h"
#include "msgdata.h"
#include "sqlfixture.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace {

const char* const kSmsDb = "/file-relay/var/mobile/Library/SMS/sms.db";

QString sampleDb()
{
    static const QString path = [] {
        const QString p = fuzz::scratchParent() + QStringLiteral("/sample") + QLatin1String(kSmsDb);
        IOS5SmsFixture::createSample(p);
        return p;
    }();
    return path;
}

const _CountryInfo& us()
{
    static const _CountryInfo info = CountryLibDb(QString()).infoByCode(QStringLiteral("US"));
    return info;
}

QString text(const QByteArray& bytes)
{
    return QStringLiteral("CAST(%1 AS TEXT)").arg(IOS5SmsFixture::blobLiteral(bytes));
}

void expectOnly(const QString& folder, const QString& name)
{
    const QStringList found =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : found) {
        if (entry != name && entry != QLatin1String("sample")) {
            std::fprintf(stderr, "written outside the database folder: %s/%s\n", qPrintable(folder), qPrintable(entry));
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::init();
    const QList<QByteArray> p = fuzz::pieces(fuzz::bytes(data, size), 6);
    const QString source = sampleDb();
    const QString folder = fuzz::scratchFolder();
    const QString db = folder + QLatin1String(kSmsDb);
    QDir().mkpath(QFileInfo(db).path());
    if (!QFile::copy(source, db))
        std::abort();
    SqlFixture::build(db, QStringLiteral("update madrid_chat set participants=%1 where ROWID=2;"
                                         "update msg_pieces set data=%2, content_type=%3, content_loc=%4 where ROWID=3;"
                                         "update message set madrid_attachmentInfo=%5, madrid_attributedBody=%6"
                                         " where ROWID=9;")
                              .arg(IOS5SmsFixture::blobLiteral(p.at(0)), IOS5SmsFixture::blobLiteral(p.at(1)),
                                   text(p.at(2)), text(p.at(3)), IOS5SmsFixture::blobLiteral(p.at(4)),
                                   IOS5SmsFixture::blobLiteral(p.at(5))));
    try {
        IOS5MessageDb reader(QDir(folder), us());
        MsgData all;
        reader.messages(all, 0);
        MsgData one;
        reader.messages(one, 2);
    } catch (const std::runtime_error&) {
    }
    expectOnly(fuzz::scratchParent(), QStringLiteral("scratch"));
    expectOnly(folder, QStringLiteral("file-relay"));
    return 0;
}
