#pragma once

#include <cstdint>
#include <memory>
#include <string>

typedef struct bio_st BIO;

// What a scripted connection has seen; shared between the test and the BIO.
struct ScriptBioState {
    std::string Incoming; // what the "server" sends, read by the client
    std::size_t Position = 0;
    int Piece = 1024;    // most bytes handed out per read
    std::string Endless; // when set, handed out over and over once Incoming is used up...
    std::size_t EndlessLimit = SIZE_MAX; // ...until this much of it has been read
    std::size_t EndlessBytes = 0;        // how much of it has been read
    std::string Written;                 // what the client sent
    int Reads = 0;                       // reads that handed out bytes
    bool FailWrites = false;
};

// An OpenSSL BIO that plays a server from memory: reads hand out Incoming in pieces of at
// most Piece bytes and report a closed connection at its end (or go on with Endless for
// ever); writes are recorded. Attach
// it to a CGSslConnection (which then owns and frees it).
BIO* NewScriptBio(std::shared_ptr<ScriptBioState> state);
