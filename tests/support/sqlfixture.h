// Builds SQLite files for tests from SQL text, straight through the SQLite C
// API, so that fixtures never depend on the code under test.
#pragma once

#include <QString>
#include <QVariant>

namespace SqlFixture {

// Creates (or extends) the database at `path` by running `sql`; the folder
// is created when missing. Fails the calling test through QFAIL-like
// qFatal on any SQL error, naming the statement's error.
void build(const QString& path, const QString& sql);

// Runs one query and returns the first column of the first row (invalid
// QVariant when there is no row). For checking what the code under test wrote.
QVariant scalar(const QString& path, const QString& sql);

} // namespace SqlFixture
