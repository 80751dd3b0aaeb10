#pragma once

// vtdriver's "balloon [timeout=S]": waits for the notification area's balloon (Wine shows the
// tray's notifications as a balloon tooltip) and prints where it is, then its title and text
// in UTF-8 on lines of their own. 0 when one was found, 1 when none came in time.
int Balloon(int argc, char** argv);
