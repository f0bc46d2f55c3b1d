#ifndef PHONEBOX_PHONEBOX_H_
#define PHONEBOX_PHONEBOX_H_

// The phone-box library: a caller-ID box behind six operations. Loaded by
// the client with dlopen on first use; every symbol below is looked up by
// name.

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Events reach the handler on a thread of the library's own: channel, a
// value of the library's, event code, parameters A, B and C, the event
// text (a 600-byte buffer, zero-terminated) and 32 bytes of further data.
// The handler returns 1.
typedef int (*PhoneBoxEventHandler)(int32_t channel, int32_t reserved, int32_t event, int32_t a, int32_t b,
                                    int32_t c, const char* text, const void* data);

enum {
  PHONEBOX_EVENT_CALLER_ID = 4,
  PHONEBOX_EVENT_RING = 2,
  PHONEBOX_EVENT_UNPLUGGED = 195,
  PHONEBOX_EVENT_DEVICE_ERROR = 199,
  PHONEBOX_DEVICE_ERROR_B = 3,
  PHONEBOX_QUERY_CHANNELS = 7,
  PHONEBOX_QUERY_CAPABILITIES = 4,
  PHONEBOX_CAPABILITY_CALLER_ID = 2,
  PHONEBOX_HANDLER_ATTACH = 32,
  PHONEBOX_HANDLER_DETACH = 34,
  PHONEBOX_LIBRARY_FAILED = -198,
  // PhoneBoxLastError after a failed open: the box is still being looked
  // for; a later open gives the answer.
  PHONEBOX_ERROR_SEARCHING = 11,
  PHONEBOX_TEXT_BYTES = 600,
  PHONEBOX_DATA_BYTES = 32,
};

// >= 1: open; <= 0: failed; PHONEBOX_LIBRARY_FAILED: the library itself.
int32_t PhoneBoxOpen(int32_t, int32_t, int32_t);
int32_t PhoneBoxClose(int32_t, int32_t);
// (0, PHONEBOX_QUERY_CHANNELS): channels of the open box, <= 0 for none;
// (channel, PHONEBOX_QUERY_CAPABILITIES): capability bits of a channel.
int32_t PhoneBoxQuery(int32_t channel, int32_t what);
// (channel, PHONEBOX_HANDLER_ATTACH or _DETACH, 0, handler, 0, 0)
int32_t PhoneBoxSetEventHandler(int32_t channel, int32_t operation, int32_t, PhoneBoxEventHandler handler, int32_t,
                                int32_t);
int32_t PhoneBoxSetParam(int32_t channel, int32_t parameter, int32_t value);
// The code of the last failure.
int32_t PhoneBoxLastError(void);

#ifdef __cplusplus
}
#endif

#endif  // PHONEBOX_PHONEBOX_H_
