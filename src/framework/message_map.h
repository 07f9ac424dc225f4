// Per-class message maps: tables from (message, notification code, id) to a handler method,
// chained to the base class's table. Anything not found gets default processing.
#pragma once
#include <windows.h>
#include <cstddef>

class CCmdTarget;

// Every handler takes the raw message parameters and returns the message result.
using MsgHandler = LRESULT (CCmdTarget::*)(WPARAM, LPARAM);

struct MessageMapEntry {
  UINT message;
  UINT code;  // WM_COMMAND notification code; 0 for other messages
  UINT id;    // WM_COMMAND control or command id; 0 for other messages
  MsgHandler handler;
};

struct MessageMap {
  const MessageMap* base;  // the base class's map, or null
  const MessageMapEntry* entries;
  size_t count;
};

// Turns a derived class's handler into the table's handler type.
template <class T>
constexpr MsgHandler Handler(LRESULT (T::*method)(WPARAM, LPARAM)) {
  return static_cast<MsgHandler>(method);
}

template <size_t N>
constexpr MessageMap MakeMessageMap(const MessageMap* base, const MessageMapEntry (&entries)[N]) {
  return MessageMap{base, entries, N};
}

class CCmdTarget {
 public:
  CCmdTarget() = default;
  CCmdTarget(const CCmdTarget&) = delete;
  CCmdTarget& operator=(const CCmdTarget&) = delete;
  virtual ~CCmdTarget() = default;

  virtual const MessageMap* GetMessageMap() const;

  // The first entry for the message, searching this class's table before its bases'.
  const MessageMapEntry* FindEntry(UINT message, WPARAM wParam) const;
  // Runs the entry for the message if there is one.
  bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
};
