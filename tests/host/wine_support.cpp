#include "tests/host/wine_support.h"

#include <sys/stat.h>

#include <cstdlib>

#include "tests/host/archive_support.h"

std::string win64Dir() {
    const char* dir = std::getenv("VOPA_WIN64_DIR");
    struct stat info;
    return dir && stat((std::string(dir) + "/tests/wine/extract_driver.exe").c_str(), &info) == 0
               ? dir
               : "";
}

std::string windowsPath(const std::string& host) {
    std::string p = "Z:" + host;
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

int runInWine(const std::string& program, const std::string& args, const std::string& prefix) {
    std::string env = prefix.empty() ? "" : "VOPA_WINE_PREFIX='" + prefix + "' ";
    return runCommand(env + "'" + std::string(VOPA_SOURCE_DIR) + "/tests/wine/run-in-wine.sh' '" +
                      program + "' " + args);
}
