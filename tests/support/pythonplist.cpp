#include "pythonplist.h"

#include <QProcess>

namespace PythonPlist {

QByteArray run(const QString& script, const QByteArray& input, QString* error)
{
    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral("-c"), script});
    if (!python.waitForStarted(10000)) {
        *error = QStringLiteral("python3 did not start");
        return QByteArray();
    }
    python.write(input);
    python.closeWriteChannel();
    if (!python.waitForFinished(60000) || python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        *error = QString::fromUtf8(python.readAllStandardError());
        return QByteArray();
    }
    QByteArray out = python.readAllStandardOutput();
    if (out.isNull())
        out = QByteArray("");
    return out;
}

QByteArray dump(const QString& expression, bool binary, QString* error)
{
    const QString script = QStringLiteral("import sys, datetime\nfrom plistlib import *\n"
                                          "sys.stdout.buffer.write(dumps(%1, fmt=%2, sort_keys=False))\n")
                               .arg(expression, binary ? QStringLiteral("FMT_BINARY") : QStringLiteral("FMT_XML"));
    return run(script, QByteArray(), error);
}

QByteArray readAsJson(const QByteArray& bytes, QString* error)
{
    const QString script = QStringLiteral(
        "import sys, json, plistlib, datetime\n"
        "def norm(v):\n"
        "    if isinstance(v, bytes): return 'hex:' + v.hex()\n"
        "    if isinstance(v, datetime.datetime): return 'date:' + v.isoformat()\n"
        "    if isinstance(v, plistlib.UID): return 'uid:%d' % v.data\n"
        "    if isinstance(v, dict): return {k: norm(x) for k, x in v.items()}\n"
        "    if isinstance(v, list): return [norm(x) for x in v]\n"
        "    return v\n"
        "print(json.dumps(norm(plistlib.loads(sys.stdin.buffer.read())), sort_keys=True, ensure_ascii=False))\n");
    return run(script, bytes, error).trimmed();
}

} // namespace PythonPlist
