#pragma once

// Descriptors 0 to 2 that are closed are opened on /dev/null, before anything else opens a
// file that would take their number and receive what is meant for standard output or errors.
// True when standard output was one of them: what is meant for it then has nowhere to go.
bool openClosedStandardStreams();
