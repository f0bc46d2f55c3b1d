#ifndef ENV_WINDOW_MESSAGES_H_
#define ENV_WINDOW_MESSAGES_H_

#include <cstdint>

// The main window's private messages and command ids; senders find the
// window with FindMainWindow.

inline constexpr uint32_t WM_COMMAND = 0x0111;
inline constexpr uint32_t WM_COPYDATA = 0x004A;

inline constexpr uint32_t MSG_MOBILE_CAPTURE_ON = 32601;
inline constexpr uint32_t MSG_MOBILE_CAPTURE_OFF = 32602;
inline constexpr uint32_t MSG_INCOMING_CALL = 32603;
inline constexpr uint32_t MSG_LANDLINE_OPEN = 32604;
inline constexpr uint32_t MSG_LANDLINE_CLOSE = 32605;
inline constexpr uint32_t MSG_LANDLINE_DEVICE_CHANGE = 32608;
inline constexpr uint32_t MSG_FULL_SCREEN = 32609;

inline constexpr uint32_t CMD_ABOUT = 104;
inline constexpr uint32_t CMD_EXIT = 105;
inline constexpr uint32_t CMD_BACK = 200;
inline constexpr uint32_t CMD_FORWARD = 201;
inline constexpr uint32_t CMD_RELOAD = 202;
inline constexpr uint32_t CMD_STOP = 203;
inline constexpr uint32_t CMD_UPGRADE_DOWNLOADED = 32001;
inline constexpr uint32_t CMD_DOWNLOAD_FAILED = 32002;
inline constexpr uint32_t CMD_UPGRADE_PROGRESS = 32003;
inline constexpr uint32_t CMD_PAGE_LOADED = 32006;
inline constexpr uint32_t CMD_DOWNLOAD_FINISHED = 32007;
inline constexpr uint32_t CMD_CHANNEL_READY = 32008;
inline constexpr uint32_t CMD_FIND = 32501;
inline constexpr uint32_t CMD_TEST_FIRST = 32700;
inline constexpr uint32_t CMD_TEST_LAST = 32715;

#endif  // ENV_WINDOW_MESSAGES_H_
