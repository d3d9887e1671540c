#pragma once

namespace app {

// The application: one window whose whole content is the main view.
class CompanionApp {
public:
    // Runs the event loop until the window closes; returns the exit status.
    static int main(int argc, char** argv);
};

} // namespace app
