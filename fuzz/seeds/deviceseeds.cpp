// Seeds of the device targets: file_relay archives as the tests build them,
// service frames, AFC replies and the backup tool's reply frames.
#include "seeds.h"

#include "cpiofixture.h"
#include "mobiledevice_afc_packets.h"
#include "toolframes.h"

#include "cftype.h"
#include "fuzzsupport.h"

#include <QtEndian>

#include <fcntl.h>
#include <unistd.h>

#include <archive_entry.h>

#include <cstdlib>

using CpioFixture::file;
using CpioFixture::folder;

QS_FUZZ_SEEDS(filerelay)
{
    const QList<CpioFixture::Entry> sms = {folder("./"), folder("./var"), folder("./var/mobile"),
                                            folder("./var/mobile/Library"), folder("./var/mobile/Library/SMS"),
                                            file("./var/mobile/Library/SMS/sms.db", "SQLite format 3"),
                                            file("a:b\tc", "x"), file("empty.txt", QByteArray())};
    sink.add(QStringLiteral("sms.cpio"), CpioFixture::cpio(sms));
    sink.add(QStringLiteral("sms.cpio.gz"), CpioFixture::cpio(sms, true));
    sink.add(QStringLiteral("escapes.cpio"),
             CpioFixture::cpio({folder("var"), file("../escape.txt", "e"), file("var/../../escape2.txt", "e"),
                                folder("../escapedir"), file("/abs.txt", "a"),
                                CpioFixture::link("var/link", "/tmp"), file("var/link/evil.txt", "e"),
                                file("var/ok.txt", "ok")}));
}

namespace {

QByteArray frame(const CFType& message, long format)
{
    const QByteArray body = message.CFPropertyListToBytes(format);
    QByteArray length(4, '\0');
    qToBigEndian(quint32(body.size()), length.data());
    return length + body;
}

QByteArray afcReply(quint64 operation, const QByteArray& body)
{
    _AFCHeader header(0, int(operation));
    header.this_length = kAfcHeaderBytes;
    header.entire_length = kAfcHeaderBytes + quint64(body.size());
    return header.toBytes() + body;
}

QByteArray le64(quint64 value)
{
    QByteArray bytes(8, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

// Texts each followed by a NUL byte, as AFC lists names and attributes.
QByteArray nulEnded(const QList<QByteArray>& texts)
{
    QByteArray out;
    for (const QByteArray& text : texts)
        out += text + '\0';
    return out;
}

} // namespace

QS_FUZZ_SEEDS(servicemsg)
{
    CFType request = CFType::createCFDictionary();
    request.put(QStringLiteral("Request"), CFType::createCFString(QStringLiteral("QueryType")));
    request.put(QStringLiteral("Result"), CFType::createCFString(QStringLiteral("Success")));
    CFType message = CFType::createCFDictionary();
    message.put(QStringLiteral("MessageType"), CFType::createCFString(QStringLiteral("DLMessageProcessMessage")));
    message.put(QStringLiteral("Params"), CFType::createCFArray({CFType::createCFNumberInt32(3), request}));
    sink.add(QStringLiteral("xml"), frame(request, 100));
    sink.add(QStringLiteral("binary"), frame(message, 200));
    sink.add(QStringLiteral("two"), frame(request, 200) + frame(message, 100));
}

QS_FUZZ_SEEDS(afc)
{
    const QByteArray status0 = afcReply(AFC_OP_STATUS, le64(0));
    const QByteArray status7 = afcReply(AFC_OP_STATUS, le64(7));
    const QByteArray names = afcReply(AFC_OP_DATA, nulEnded({".", "..", "a", "b.txt"}));
    const QByteArray info = afcReply(
        AFC_OP_DATA, nulEnded({"st_size", "12", "st_ifmt", "S_IFREG", "st_mtime", "1400000000000000000"}));
    const QByteArray handle = afcReply(AFC_OP_FILE_HANDLE, le64(5));
    const QByteArray data = afcReply(AFC_OP_DATA, QByteArray("file contents"));
    // The first byte ('C' of the magic, 67) picks the first operation of the
    // round: listing, attributes, open, file read, lock, plain read.
    sink.add(QStringLiteral("round"), names + info + handle + data + status0 + status0);
    sink.add(QStringLiteral("failures"), status7 + status7 + status7 + status7 + status7 + status7);
}

QS_FUZZ_SEEDS(toolreply)
{
    int fds[2];
    if (pipe(fds) != 0)
        std::abort();
    fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);
    for (bool binary : {false, true}) {
        qsbt::ReplyWriter writer(fds[1]);
        writer.setBinary(binary);
        writer.progress(12.5);
        writer.sendLength(0);
        writer.progress(100);
        writer.finish(binary ? 0 : 105);
        QByteArray out(1 << 16, '\0');
        const ssize_t n = read(fds[0], out.data(), size_t(out.size()));
        sink.add(QStringLiteral("replies-%1").arg(binary ? QStringLiteral("binary") : QStringLiteral("xml")),
                 out.left(int(n > 0 ? n : 0)));
    }
    close(fds[0]);
    close(fds[1]);
}
