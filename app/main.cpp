#include "app/CompanionApp.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const int status = app::CompanionApp::main(argc, argv);
    // A run may still be working on its own threads when the window closes.
    // Leave at once, without static destructors that would tear the thread
    // pool and the HTTP client down underneath it.
    std::fflush(nullptr);
    std::_Exit(status);
}
