#ifndef BROWSER_MESSAGE_HANDLERS_H_
#define BROWSER_MESSAGE_HANDLERS_H_

#include <cstdint>
#include <functional>

#include "platform/window_directory.h"

namespace browser {

class RootWindow;

// What a root window does with the messages and commands of the subsystems
// plugged into it; its own are in its tables. The application registers
// them at start-up, before the first window, and the UI thread reads them.
using MessageHandler = std::function<intptr_t(RootWindow& window, const platform::WindowMessage& message)>;
using CommandHandler = std::function<void(RootWindow& window, intptr_t lparam)>;

void RegisterMessageHandler(uint32_t message, MessageHandler handler);
void RegisterCommandHandler(uint32_t command, CommandHandler handler);
// Null when nothing is registered for it.
const MessageHandler* FindMessageHandler(uint32_t message);
const CommandHandler* FindCommandHandler(uint32_t command);

}  // namespace browser

#endif  // BROWSER_MESSAGE_HANDLERS_H_
