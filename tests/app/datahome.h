// A temporary HOME whose data folder the application looks up afresh, and
// forgets again when the home goes.
#pragma once

#include "data_path_util.h"
#include "temphome.h"

class DataHome : public TempHome
{
public:
    DataHome() { g_resetDataSaveDirForTests(); }
    ~DataHome() { g_resetDataSaveDirForTests(); }
};
