#pragma once

namespace brenvo {

// Sends the library's diagnostic lines to the system log (the journal)
// when standard error is not a terminal, as for a program started from the
// desktop; in a terminal they stay on standard error.
void logToJournalUnlessTerminal();

}  // namespace brenvo
