#pragma once

// An account checked by its own thread against the scripted POP3 server, as the checking
// thread's tests watch it: every notification records the status and the wait chosen.
#include "mail/account.h"
#include "support/counting_sink.h"
#include "support/pop3_script_server.h"

#include <cstdint>
#include <string>

using Conn = ScriptedPop3Server::Connection;

struct Watched {
    CountingSink Sink; // declared first: it must outlive the account's thread
    CGAccount Account{0x8000};

    // A plain-POP3 account on the scripted server; long waits of `minutes` ticks of tickMs.
    Watched(std::uint16_t port, int minutes, int tickMs = 20, const char* password = "secret") {
        Account.ApplySettings(ScriptedServerAccount(port, password, minutes));
        Account.TickMilliseconds = tickMs;
        Account.Session.Transport.Timeouts.ReadMs = 500;
        Sink.StatusSource = &Account.Status;
        Sink.WaitSource = &Account.LastWaitTicks;
        Account.NotifySink = &Sink;
    }
    std::string Line() {
        Account.UpdateStatusText();
        return Account.StatusText;
    }
};
