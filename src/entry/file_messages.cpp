#include "entry/file_messages.hpp"

namespace bxa {

using platform::OpenFailure;

void reportUnopenableFile(OpenFailure failure, const std::string& path, platform::Console& console) {
    switch (failure) {
        case OpenFailure::NotRegular:
            console.err("\n\nError: Could not open file (%s); it is not a regular file, and is left as it is\n\n",
                        path.c_str());
            break;
        case OpenFailure::LinkInPath:
            console.err("\n\nError: Could not open file (%s); a directory on its way is a symbolic link, which "
                        "is never followed\n\n",
                        path.c_str());
            break;
        case OpenFailure::NameTooLong:
            console.err("\n\nError: Could not open file (%s); the name is too long for the file system\n\n",
                        path.c_str());
            break;
        case OpenFailure::NameRefused:
            console.err("\n\nError: Could not open file (%s); the file system takes no file of that name\n\n",
                        path.c_str());
            break;
        default: console.err("\n\nError: Could not open file (%s)\n\n", path.c_str()); break;
    }
}

void reportUnplaceableFile(OpenFailure failure, const std::string& path, platform::Console& console) {
    if (failure == OpenFailure::Other || failure == OpenFailure::None) {
        reportUnwritableFile(path, console);
    } else {
        reportUnopenableFile(failure, path, console);
    }
}

void reportUnwritableFile(const std::string& path, platform::Console& console) {
    console.err("\n\nError: Could not write file (%s)\n\n", path.c_str());
}

}  // namespace bxa
