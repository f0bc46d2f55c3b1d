#include "browser/message_handlers.h"

#include <map>

namespace browser {

namespace {

std::map<uint32_t, MessageHandler>& MessageHandlers() {
  static std::map<uint32_t, MessageHandler> handlers;
  return handlers;
}

std::map<uint32_t, CommandHandler>& CommandHandlers() {
  static std::map<uint32_t, CommandHandler> handlers;
  return handlers;
}

template <typename Handler>
const Handler* Find(const std::map<uint32_t, Handler>& handlers, uint32_t id) {
  const auto it = handlers.find(id);
  return it == handlers.end() ? nullptr : &it->second;
}

}  // namespace

void RegisterMessageHandler(uint32_t message, MessageHandler handler) { MessageHandlers()[message] = std::move(handler); }

void RegisterCommandHandler(uint32_t command, CommandHandler handler) { CommandHandlers()[command] = std::move(handler); }

const MessageHandler* FindMessageHandler(uint32_t message) { return Find(MessageHandlers(), message); }

const CommandHandler* FindCommandHandler(uint32_t command) { return Find(CommandHandlers(), command); }

}  // namespace browser
