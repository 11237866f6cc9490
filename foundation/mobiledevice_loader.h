// Loads the CoreFoundation and MobileDevice stand-ins at run time and turns
// names into the addresses of the functions and constants they export. Every
// call of a framework goes through these look-ups at each use (a name found
// once is remembered until the libraries are loaded anew).
#pragma once

#include <QString>

// The folder searched: QUILLSPROUT_FRAMEWORKS when set, else "frameworks"
// beside the executable.
QString mobiledevice_loader_frameworks_dir();

// Loads both libraries: 1 when both loaded; 0 when only CoreFoundation did;
// -1 when CoreFoundation did not. On 0 and -1 `error` gets the failure text.
int mobiledevice_loader_ini(QString& error, QString path);
bool mobiledevice_loader_is_loaded();
bool mobiledevice_loader_is_mobiledevice_loaded();
bool mobiledevice_loader_is_corefoundation_loaded();
QString mobiledevice_loader_ini_uwpiTunesPath();

// Counts the loads: a caller that keeps an address keeps it only while the
// generation it was found in is the current one.
unsigned mobiledevice_loader_generation();

// The address of an exported name, or null when the name is not exported or
// the library is not loaded.
void* mobiledevice_loader_mf(const char* name);
void* mobiledevice_loader_cf(const char* name);

// As mobiledevice_loader_mf, but a missing name throws a std::runtime_error
// that names it, so that device code never calls through a null address.
void* mobiledevice_loader_mfThrow(const char* name);
