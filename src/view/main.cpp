// bxa-view WORKDIR OUTDIR: the models of a work directory as OBJ files and a preview page.
#include <string>

#include "platform/console.hpp"
#include "view/exporter.hpp"

int main(int argc, char** argv) {
    if (argc != 3) {
        bxa::platform::StandardConsole().err(
            "usage: bxa-view WORKDIR OUTDIR\n"
            "Writes every R7D, R7P and R7T model of WORKDIR into OUTDIR as NAME.obj and NAME.mtl with its\n"
            "bitmaps, and index.html, a page that shows them all in 3D.\n");
        return 2;
    }
    return bxa::view::exportWorkDirectory(argv[1], argv[2]).ok ? 0 : 1;
}
