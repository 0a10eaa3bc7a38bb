// The program's start: prepares the process, runs the console until it is
// closed, and lets go of everything before returning.
#pragma once

class CWendrelApp {
public:
    // Runs the console modally; returns false, so that the program ends
    // once the console has closed.
    bool InitInstance();
};
