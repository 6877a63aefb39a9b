#pragma once

#include <functional>

namespace brenvo {

class Notifier;

// Tells the person, once, that closing the last window left the program
// running. A click on the notification runs `clicked` (open a window);
// nothing happens where notifications cannot be shown.
void postBackgroundNotice(Notifier& notifier, std::function<void()> clicked);

}  // namespace brenvo
