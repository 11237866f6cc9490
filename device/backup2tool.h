// backup2tool: makes a full backup of a device into a backup root folder, or
// restores the backup there to the device, by running the backup tool
// AppleMobileBackup (from the frameworks folder) as a child process joined by
// two pipes. The run reports the tool's progress through `update`, ends at
// once on `cancel()`, and throws std::runtime_error with the text the user
// reads on failure.
//
// Frame, both directions of the pipes:
//   OFFSET SIZE    MEANING
//   0      4       body length N, signed 32-bit in the machine's byte order;
//                  a reply of N below 1 carries nothing, of N above
//                  kMaxToolReplyBytes breaks the run
//   4      N       body: a property list (the request XML, replies XML or
//                  binary)
#pragma once

#include "cftype.h"
#include "mobiledevicetypes.h"

#include <QDir>
#include <QObject>
#include <QString>

#include <atomic>

class QProcess;

enum backup2tool_op : qint32 { backup2tool_op_backup = 0, backup2tool_op_restore = 1 };

struct _backup2tool_req
{
    explicit _backup2tool_req(backup2tool_op op) : op(op) {}
    backup2tool_op op;
    QString password; // restore of an encrypted backup only
};

// The longest reply body accepted from the tool.
constexpr int kMaxToolReplyBytes = 16 * 1024 * 1024;

class backup2tool : public QObject
{
    Q_OBJECT

public:
    // The four descriptors of one run: fd[0] reply read end (ours), fd[1]
    // reply write end (the tool's), fd[2] request read end (the tool's),
    // fd[3] request write end (ours). -1 marks a closed slot. Each wait for a
    // descriptor lasts at most `waitMs` and ends early once `cancelled` is set.
    struct _PIPE
    {
        int fd[4] = {-1, -1, -1, -1};
        int waitMs = 60000;
        const std::atomic<bool>* cancelled = nullptr;
    };

    backup2tool(am_device* device, QString udid, QDir root, QObject* parent = nullptr);
    ~backup2tool() override;

    const QString& status1() const { return m_status1; }
    const QString& status2() const { return m_status2; }
    double progress() const { return m_progress; }
    // The last run ended on `cancel()` rather than on the tool's final reply.
    bool cancelled() const { return m_cancelled; }
    // The wait for each reply (60 s) and the grace a tool gets to end after
    // its final reply (2 s); tests shorten them.
    void setWaits(int replyWaitMs, int graceMs);

    static quint64 get_freespace(const QDir& dir);
    // The tool's path: AppleMobileBackup in the frameworks folder.
    static QString toolPath();

    static bool startAppleMobileBackup(QProcess& process, _PIPE& pipe);
    static int readPipe(const _PIPE& pipe, char* buf, int len);
    static int writePipe(const _PIPE& pipe, const char* data, int len, bool sync);
    static bool writePipeRequest(const _PIPE& pipe, CFType request);
    static CFType readPipeReponse(const _PIPE& pipe);
    static void closePipe(_PIPE& pipe);

    // One run; returns on success and on cancel.
    void runThrow(const _backup2tool_req& req);

signals:
    void update(double pg, QString status1, QString status2);

public slots:
    void cancel();

private:
    enum class Read { Reply, Silent, Ended, Broken, Cancelled };
    static Read readReply(const _PIPE& pipe, CFType& reply);
    CFType buildRequest(backup2tool_op op, const QString& password) const;
    QString errorText(int code, backup2tool_op op) const;
    [[noreturn]] void fail(const QString& text) const;

    am_device* m_device;
    QString m_udid;
    QDir m_root;
    QString m_status1;
    QString m_status2;
    double m_progress = 0;
    std::atomic<bool> m_cancelled{false};
    int m_replyWaitMs = 60000;
    int m_graceMs = 2000;
};
