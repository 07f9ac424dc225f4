#include "framework/message_map.h"

const MessageMap* CCmdTarget::GetMessageMap() const {
  static const MessageMap none{nullptr, nullptr, 0};
  return &none;
}

const MessageMapEntry* CCmdTarget::FindEntry(UINT message, WPARAM wParam) const {
  const UINT code = message == WM_COMMAND ? HIWORD(wParam) : 0;
  const UINT id = message == WM_COMMAND ? LOWORD(wParam) : 0;
  for (const MessageMap* map = GetMessageMap(); map != nullptr; map = map->base) {
    for (size_t i = 0; i < map->count; ++i) {
      const MessageMapEntry& e = map->entries[i];
      if (e.message == message && e.code == code && e.id == id) return &e;
    }
  }
  return nullptr;
}

bool CCmdTarget::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  const MessageMapEntry* entry = FindEntry(message, wParam);
  if (entry == nullptr) return false;
  result = entry->handler(this, wParam, lParam);
  return true;
}
