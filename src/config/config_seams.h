#pragma once

#include <string>

// What the settings layer takes from its surroundings, in one place so that tests can point
// it elsewhere. The program runs with DefaultConfigSeams(); a test saves ConfigSeams, replaces
// what it needs before any thread uses the settings, and puts the saved struct back.
struct CConfigSeams {
    // The folder the program's own folder goes into; empty: the user's roaming
    // application-data folder.
    std::string DataFolder;
    // Natively every write reaches the disk before the new file replaces the old one. Tests
    // that write thousands of times may skip that wait; the Win32 store ignores it.
    int FlushWrites = 1;
};

// The seams in use.
extern CConfigSeams ConfigSeams;
// The user's application-data folder and durable writes.
CConfigSeams DefaultConfigSeams();
