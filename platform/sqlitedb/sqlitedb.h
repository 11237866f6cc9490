// The database wrapper in one include.
#pragma once

#include "sqlite3cursor.h"
#include "sqlite3db.h"
#include "sqlite3insert.h"
#include "sqlite3row.h"
#include "sqlite3sql.h"
#include "sqlitecol.h"
#include "sqliteerror.h"
