#include "mobiledevice_afc_packets.h"

#include "cftype.h"
#include "mobiledevice_service.h"

#include <cstring>
#include <stdexcept>

namespace {

const int kAfcWaitMs = 60000;
const char kMagic[8] = {'C', 'F', 'A', '6', 'L', 'P', 'A', 'A'};

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toUtf8().toStdString());
}

void appendLe64(QByteArray& out, quint64 value)
{
    for (int i = 0; i < 8; ++i)
        out.append(char(value >> (8 * i)));
}

// The little-endian number in the first 8 bytes of `bytes`; a shorter
// `bytes` gives the number of the bytes it has.
quint64 le64(const char* bytes, int size)
{
    quint64 value = 0;
    for (int i = 0; i < 8 && i < size; ++i)
        value |= quint64(quint8(bytes[i])) << (8 * i);
    return value;
}

quint64 le64(const QByteArray& bytes)
{
    return le64(bytes.constData(), bytes.size());
}

QByteArray nulEnded(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    bytes.append('\0');
    return bytes;
}

// The NUL-ended strings of a body; bytes after the last NUL are dropped.
QList<QByteArray> nulStrings(const QByteArray& body)
{
    QList<QByteArray> out;
    int start = 0;
    for (int i = 0; i < body.size(); ++i) {
        if (body.at(i) == '\0') {
            out.append(body.mid(start, i - start));
            start = i + 1;
        }
    }
    return out;
}

// Sends a request whose header payload is `payload` and reads its reply.
QByteArray request(unsigned int socket, quint64 operation, const QByteArray& payload, int* status = nullptr)
{
    _AFCHeader header{int(socket), int(operation)};
    header.this_length = header.entire_length = quint64(kAfcHeaderBytes + payload.size());
    mobiledevice_afc_send_data(socket, header, payload.constData(), payload.size());
    _AFCHeader reply;
    return mobiledevice_afc_read_data(socket, reply, status);
}

QByteArray handlePayload(unsigned long long handle)
{
    QByteArray payload;
    appendLe64(payload, handle);
    return payload;
}

} // namespace

_AFCHeader::_AFCHeader(int packet, int op)
    : entire_length(0), this_length(0), packet_num(packet == 0 ? 0xFFFFFFFFull : quint64(quint32(packet))),
      operation(quint64(op))
{
    memcpy(magic, kMagic, sizeof magic);
}

QByteArray _AFCHeader::toBytes() const
{
    QByteArray out(magic, sizeof magic);
    appendLe64(out, entire_length);
    appendLe64(out, this_length);
    appendLe64(out, packet_num);
    appendLe64(out, operation);
    return out;
}

_AFCHeader _AFCHeader::fromBytes(const char* bytes)
{
    _AFCHeader header;
    memcpy(header.magic, bytes, sizeof header.magic);
    header.entire_length = le64(bytes + 8, 8);
    header.this_length = le64(bytes + 16, 8);
    header.packet_num = le64(bytes + 24, 8);
    header.operation = le64(bytes + 32, 8);
    return header;
}

void mobiledevice_afc_send_data(unsigned int socket, const _AFCHeader& header, const char* data, int length)
{
    const QByteArray head = header.toBytes();
    if (mobiledevice_send_all(socket, head.constData(), head.size(), kAfcWaitMs) != head.size())
        fail(QStringLiteral("send AFC header (%1) error.").arg(header.operation));
    if (length > 0 && mobiledevice_send_all(socket, data, length, kAfcWaitMs) != length)
        fail(QStringLiteral("send AFC content (%1) error.").arg(header.operation));
}

QByteArray mobiledevice_afc_read_data(unsigned int socket, _AFCHeader& header, int* status)
{
    char head[kAfcHeaderBytes];
    if (mobiledevice_recv_all(socket, head, kAfcHeaderBytes, kAfcWaitMs) != kAfcHeaderBytes)
        fail(QStringLiteral("read AFC header failed."));
    header = _AFCHeader::fromBytes(head);
    if (memcmp(header.magic, kMagic, sizeof kMagic) != 0)
        fail(QStringLiteral("read AFC failed, the reply does not start with CFA6LPAA."));
    // The low 32 bits, signed, as the device means them; at most the limit.
    const qint64 entireLength = qint64(qint32(quint32(header.entire_length)));
    const qint64 thisLength = qint64(qint32(quint32(header.this_length)));
    // The header's own part lies inside the packet and holds at least the header.
    if (thisLength < kAfcHeaderBytes || thisLength > entireLength)
        fail(QStringLiteral("read AFC failed, the reply's header length %1 disagrees with its packet length %2.")
                 .arg(thisLength)
                 .arg(entireLength));
    const qint64 bodyLength = entireLength - kAfcHeaderBytes;
    if (bodyLength > kAfcMaxBodyBytes)
        fail(QStringLiteral("read AFC failed, the announced length %1 exceeds the limit of %2 bytes.")
                 .arg(bodyLength)
                 .arg(kAfcMaxBodyBytes));
    QByteArray body;
    if (bodyLength > 0) {
        body.resize(int(bodyLength));
        if (mobiledevice_recv_all(socket, body.data(), body.size(), kAfcWaitMs) != body.size())
            fail(QStringLiteral("read AFC file block data failed."));
    }
    switch (qint64(header.operation)) {
    case AFC_OP_STATUS: {
        const quint64 code = le64(body);
        if (status)
            *status = int(quint32(code));
        else if (code != 0)
            fail(QStringLiteral("read AFC failed, received AFC_OP_STATUS, param1=%1.").arg(code));
        // A status carries no data: code 0 is an empty answer, never eight
        // zero bytes of it.
        return QByteArray();
    }
    case AFC_OP_DATA:
    case AFC_OP_FILE_HANDLE:
    case AFC_OP_DATA_OTHER:
        return body;
    default:
        fail(QStringLiteral("read AFC failed, Unknown operation code received %1, param1=%2.")
                 .arg(header.operation)
                 .arg(le64(body)));
    }
}

QStringList mobiledevice_afc_read_dir(unsigned int socket, QString path)
{
    QStringList names;
    for (const QByteArray& name : nulStrings(request(socket, AFC_OP_READ_DIR, nulEnded(path))))
        names.append(QString::fromUtf8(name));
    return names;
}

QMap<QString, QString> mobiledevice_afc_file_info(unsigned int socket, QString path)
{
    QMap<QString, QString> info;
    QString key;
    for (const QByteArray& text : nulStrings(request(socket, AFC_OP_FILE_INFO, nulEnded(path)))) {
        if (key.isEmpty()) {
            key = QString::fromUtf8(text);
        } else {
            info.insert(key, QString::fromUtf8(text));
            key.clear();
        }
    }
    return info;
}

unsigned long long mobiledevice_afc_open_file(unsigned int socket, QString path, afc_file_mode_t mode)
{
    QByteArray payload;
    appendLe64(payload, mode);
    payload += nulEnded(path);
    return le64(request(socket, AFC_OP_OPEN_FILE, payload));
}

void mobiledevice_afc_close_file(unsigned int socket, unsigned long long handle)
{
    request(socket, AFC_OP_CLOSE_FILE, handlePayload(handle));
}

unsigned int mobiledevice_afc_file_read(unsigned int socket, unsigned long long handle, char* buffer,
                                        unsigned int length)
{
    unsigned int done = 0;
    while (done < length) {
        const unsigned int asked = qMin(length - done, kAfcReadChunk);
        QByteArray payload = handlePayload(handle);
        appendLe64(payload, asked);
        const QByteArray body = request(socket, AFC_OP_FILE_READ, payload);
        if (body.isEmpty())
            break;
        // More than asked would run past the caller's buffer: the reply is
        // not the one this request expects.
        if (unsigned(body.size()) > asked)
            fail(QStringLiteral("read AFC failed, received %1 bytes where at most %2 were asked for.")
                     .arg(body.size())
                     .arg(asked));
        memcpy(buffer + done, body.constData(), size_t(body.size()));
        done += unsigned(body.size());
    }
    return done;
}

unsigned int mobiledevice_afc_file_write(unsigned int socket, unsigned long long handle, const char* data,
                                         unsigned int length)
{
    unsigned int done = 0;
    while (done < length) {
        const unsigned int chunk = qMin(length - done, kAfcWriteChunk);
        const QByteArray payload = handlePayload(handle);
        _AFCHeader header{int(socket), AFC_OP_FILE_WRITE};
        header.this_length = quint64(kAfcHeaderBytes + payload.size());
        header.entire_length = header.this_length + chunk;
        mobiledevice_afc_send_data(socket, header, payload.constData(), payload.size());
        // A chunk sent in part leaves the device waiting for the rest.
        if (mobiledevice_send_all(socket, data + done, int(chunk), kAfcWaitMs) != int(chunk))
            fail(QStringLiteral("write AFC file error."));
        _AFCHeader reply;
        mobiledevice_afc_read_data(socket, reply, nullptr);
        done += chunk;
    }
    return done;
}

int mobiledevice_afc_file_lock(unsigned int socket, unsigned long long handle, afc_lock_op_t operation)
{
    QByteArray payload = handlePayload(handle);
    appendLe64(payload, operation);
    int status = 0;
    request(socket, AFC_OP_FILE_LOCK, payload, &status);
    return status;
}

void mobiledevice_afc_remove(unsigned int socket, QString path)
{
    request(socket, AFC_OP_REMOVE, nulEnded(path));
}

void mobiledevice_afc_rename(unsigned int socket, QString from, QString to)
{
    request(socket, AFC_OP_RENAME, nulEnded(from) + nulEnded(to));
}

void mobiledevice_afc_mkdir(unsigned int socket, QString path)
{
    request(socket, AFC_OP_MKDIR, nulEnded(path));
}

void mobiledevice_afc_housearrest_set_pid(unsigned int socket, QString appId)
{
    CFType message = CFType::createCFDictionary();
    message.put(QStringLiteral("Command"), CFType::createCFString(QStringLiteral("VendContainer")));
    message.put(QStringLiteral("Identifier"), CFType::createCFString(appId));
    mobiledevice_sendmsg(socket, message, false, kAfcWaitMs);
    const CFType reply = mobiledevice_recmsg(socket, message, kAfcWaitMs);
    if (!reply.get(QStringLiteral("Error")).ref())
        return;
    QString shown = QString::fromUtf8(reply.CFPropertyListToBytes(100));
    shown.replace(QLatin1Char('<'), QStringLiteral("&lt;")).replace(QLatin1Char('>'), QStringLiteral("&gt;"));
    fail(QStringLiteral("can not find %1.<br/>%2").arg(appId, shown));
}
