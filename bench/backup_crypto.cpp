// Times the two costly steps of an encrypted backup: the keybag unlock with a
// device's real iteration counts against the OpenSSL command line, and the
// decryption of a 256 MiB stored file against the floor of copying the same
// bytes, unchanged, from the same source to a target written the same way
// (a temporary file beside it, synced and renamed into place). Run with
// "unlock" or "decrypt" for one of the two.
#include "backupcrypto.h"
#include "backupfilecipher.h"
#include "keybag.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <functional>

#include <fcntl.h>
#include <unistd.h>

namespace {

const quint32 kDpIterations = 10000000;
const quint32 kIterations = 10000;
const qint64 kFileSize = 256ll * 1024 * 1024;
const int kRounds = 5;

QByteArray record(const char* tag, const QByteArray& value)
{
    QByteArray length(4, '\0');
    qToBigEndian<quint32>(quint32(value.size()), length.data());
    return QByteArray(tag, 4) + length + value;
}

QByteArray number(quint32 value)
{
    QByteArray out(4, '\0');
    qToBigEndian<quint32>(value, out.data());
    return out;
}

double seconds(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

double best(const QList<double>& values)
{
    return *std::min_element(values.begin(), values.end());
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// Runs the command and returns its wall time, or -1 when it failed.
double timeCommand(const QString& program, const QStringList& args, QByteArray* output = nullptr)
{
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(program, args);
    if (!process.waitForFinished(-1) || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), process.readAllStandardError().constData());
        return -1;
    }
    const double elapsed = seconds(timer);
    if (output)
        *output = process.readAllStandardOutput().trimmed();
    return elapsed;
}

QString hexOf(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

QStringList pbkdf2Args(const char* digest, const QString& passOption, const QByteArray& salt, quint32 rounds)
{
    return {"kdf", "-keylen", "32", "-kdfopt", QString("digest:%1").arg(digest), "-kdfopt", passOption,
            "-kdfopt", "hexsalt:" + hexOf(salt), "-kdfopt", QString("iter:%1").arg(rounds), "PBKDF2"};
}

void benchUnlock()
{
    const QByteArray password = "correct horse battery staple";
    const QByteArray dpSalt(20, 'd');
    const QByteArray salt(20, 's');
    const QByteArray classKey(32, 'c');

    // Built once with the library itself, outside the timing.
    const QByteArray first = pbkdf2HmacSha256(password, dpSalt, kDpIterations, 32);
    const QByteArray passwordKey = pbkdf2HmacSha1(first, salt, kIterations, 32);
    const QByteArray keybag = record("UUID", QByteArray(16, 'u')) + record("WRAP", number(2))
        + record("SALT", salt) + record("ITER", number(kIterations)) + record("DPSL", dpSalt)
        + record("DPIC", number(kDpIterations)) + record("UUID", QByteArray(16, 'v'))
        + record("CLAS", number(1)) + record("WRAP", number(3))
        + record("WPKY", aes_key_wrap(passwordKey, classKey));

    _KeybagInfo info = parseKeybag(keybag);
    QElapsedTimer timer;
    timer.start();
    const bool ok = unlockWithPasscode(password, info);
    const double ours = seconds(timer);

    QByteArray step1;
    QByteArray step2;
    const double cli1 = timeCommand("openssl", pbkdf2Args("SHA256", "pass:" + QString::fromLatin1(password),
                                                          dpSalt, kDpIterations), &step1);
    const double cli2 = timeCommand("openssl", pbkdf2Args("SHA1", "hexpass:" + hexOf(first), salt, kIterations),
                                    &step2);
    const bool same = QByteArray::fromHex(QByteArray(step2).replace(':', "")) == passwordKey;
    std::printf("unlock (%u x PBKDF2-HMAC-SHA256 + %u x PBKDF2-HMAC-SHA1): ours %.3f s%s, "
                "openssl kdf %.3f s (%.3f + %.3f)%s, ratio %.3f\n",
                kDpIterations, kIterations, ours, ok ? "" : " (FAILED)", cli1 + cli2, cli1, cli2,
                same ? "" : " (different key!)", ours / (cli1 + cli2));
}

// The floor of a decryption: the stored bytes read and written in large
// chunks through one buffer into a temporary file that is synced and renamed
// over the target, as the decryption's target is, with nothing deciphered.
bool plainCopy(const QString& source, const QString& target)
{
    const QByteArray from = QFile::encodeName(source);
    const QByteArray temp = QFile::encodeName(target + ".floor");
    const int in = ::open(from.constData(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool ok = in >= 0 && out >= 0;
    QByteArray buffer(1 << 20, '\0');
    while (ok) {
        const ssize_t rd = ::read(in, buffer.data(), size_t(buffer.size()));
        if (rd <= 0) {
            ok = rd == 0;
            break;
        }
        ok = ::write(out, buffer.constData(), size_t(rd)) == rd;
    }
    ok = ok && ::fdatasync(out) == 0;
    if (in >= 0)
        ::close(in);
    if (out >= 0)
        ok = ::close(out) == 0 && ok;
    return ok && ::rename(temp.constData(), QFile::encodeName(target).constData()) == 0;
}

void benchDecrypt()
{
    QTemporaryDir dir;
    const QString plainPath = dir.filePath("plain");
    const QString storedPath = dir.filePath("stored");
    {
        QFile plain(plainPath);
        plain.open(QIODevice::WriteOnly);
        QByteArray block(1 << 20, '\0');
        for (int i = 0; i < block.size(); ++i)
            block[i] = char(i * 31 + 7);
        for (qint64 done = 0; done < kFileSize; done += block.size())
            plain.write(block);
    }
    const QByteArray key(32, 'k');
    backupEncryptFileThrow(plainPath, storedPath, key);
    QFile::remove(plainPath);

    // Warm the page cache so that both read the same cached file.
    timeCommand("sh", {"-c", "cat \"$0\" > /dev/null", storedPath});

    // The disk's write-back varies from moment to moment on a shared machine:
    // the three are timed in turn, several rounds, and the medians compared.
    const QString target = dir.filePath("target");
    bool copied = true;
    const QList<std::function<void()>> steps = {
        [&] { copied = plainCopy(storedPath, target) && copied; },
        [&] { backupCopyFileThrow(storedPath, target, nullptr, nullptr); },
        [&] { backupDecryptFileThrow(key, storedPath, target, nullptr, nullptr); },
    };
    QList<QList<double>> times(steps.size());
    for (int round = 0; round < kRounds; ++round)
        for (int i = 0; i < steps.size(); ++i) {
            QElapsedTimer timer;
            timer.start();
            steps[i]();
            times[i].append(seconds(timer));
            QFile::remove(target);
        }
    const double floor = median(times[0]);
    const double copy = median(times[1]);
    const double ours = median(times[2]);
    const double cli = timeCommand("openssl", {"enc", "-d", "-aes-256-cbc", "-K", hexOf(key),
                                               "-iv", QString(32, '0'), "-in", storedPath,
                                               "-out", dir.filePath("cli")});
    const double mib = double(kFileSize) / (1024 * 1024);
    std::printf("decrypt %.0f MiB: ours %.3f s (%.0f MiB/s), openssl enc -d %.3f s (%.0f MiB/s, no sync), "
                "ratio %.3f\n",
                mib, ours, mib / ours, cli, mib / cli, ours / cli);
    std::printf("copy %.0f MiB unchanged: floor %.3f s (%.0f MiB/s)%s, ours %.3f s (%.2fx)\n", mib, floor,
                mib / floor, copied ? "" : " (FAILED)", copy, copy / floor);
    std::printf("decrypt / floor: %.2fx (goal: at most 1.5x; medians of %d rounds), best of the rounds %.2fx\n",
                ours / floor, kRounds, best(times[2]) / best(times[0]));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (only.isEmpty() || only == "unlock")
        benchUnlock();
    if (only.isEmpty() || only == "decrypt")
        benchDecrypt();
    return 0;
}
