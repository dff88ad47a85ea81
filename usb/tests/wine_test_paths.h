// Unix paths as a program under Wine reaches them (drive Z: is the Unix root).
#pragma once
#include <cstdlib>
#include <string>

inline std::string FromUnix(const std::string& unix_path) {
    std::string path = "Z:" + unix_path;
    for (char& c : path) {
        if (c == '/')
            c = '\\';
    }
    return path;
}

// A file of the test data the build prepared, named by ZC_USB_TEST_DATA (a Unix path).
inline std::string TestDataPath(const std::string& name) {
    const char* directory = std::getenv("ZC_USB_TEST_DATA");
    return FromUnix(std::string(directory != nullptr ? directory : "/nonexistent") + "/" + name);
}
