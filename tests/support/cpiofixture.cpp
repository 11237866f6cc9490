#include "cpiofixture.h"

#include <archive.h>
#include <archive_entry.h>

namespace CpioFixture {

Entry file(const QString& name, const QByteArray& data) { return {name, AE_IFREG, data}; }
Entry folder(const QString& name) { return {name, AE_IFDIR, QByteArray()}; }
Entry link(const QString& name, const QByteArray& target) { return {name, AE_IFLNK, target}; }

QByteArray cpio(const QList<Entry>& entries, bool gzip)
{
    QByteArray out(8 * 1024 * 1024, '\0');
    size_t used = 0;
    archive* w = archive_write_new();
    archive_write_set_format_cpio_odc(w);
    archive_write_set_bytes_in_last_block(w, 1);
    if (gzip)
        archive_write_add_filter_gzip(w);
    archive_write_open_memory(w, out.data(), size_t(out.size()), &used);
    for (const Entry& e : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, e.name.toUtf8().constData());
        archive_entry_set_filetype(entry, e.type);
        archive_entry_set_perm(entry, e.type == AE_IFDIR ? 0755 : 0644);
        archive_entry_set_mtime(entry, e.mtime, 0);
        if (e.type == AE_IFLNK)
            archive_entry_set_symlink(entry, e.data.constData());
        archive_entry_set_size(entry, e.type == AE_IFREG ? e.data.size() : 0);
        archive_write_header(w, entry);
        if (e.type == AE_IFREG)
            archive_write_data(w, e.data.constData(), size_t(e.data.size()));
        archive_entry_free(entry);
    }
    archive_write_close(w);
    archive_write_free(w);
    out.truncate(int(used));
    return out;
}

} // namespace CpioFixture
