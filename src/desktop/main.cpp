#include <cstdio>
#include <cstdlib>

#include "command_line.h"
#include "varlowe_app.h"

wxIMPLEMENT_APP_NO_MAIN(varlowe::VarloweApp);

int main(int argc, char** argv) {
    // --help and --version need no display: answered before the toolkit opens one.
    if (std::optional<int> status = varlowe::answerWithoutDisplay(argc, argv, stdout)) {
        return *status;
    }
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((x11 == nullptr || *x11 == '\0') && (wayland == nullptr || *wayland == '\0')) {
        std::fprintf(stderr,
                     "varlowe: there is no display to open a window on (DISPLAY is not set); "
                     "varlowe-cli reads captures as text\n");
        return 1;
    }
    return wxEntry(argc, argv);
}
