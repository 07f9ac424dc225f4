// Per-class message maps: tables from (message, notification code, id) to a handler, chained
// to the base class's table. Anything not found gets default processing.
//
// A row names the operation it runs directly; the adapter below calls it with what it takes:
//   OnMessage<&CMyDlg::OnSize>(WM_SIZE)        member taking (WPARAM, LPARAM), returning LRESULT
//   OnCommand<&CMyDlg::OnOK>(IDOK)             member taking nothing
//   OnCommand<&ZoomIn>(ID_ZOOM_IN)             free function taking the window's handle
//   OnMessage<&OnStep>(WM_APP)                 free function taking (HWND, WPARAM, LPARAM)
//   OnCommand<&OpenWebsite>(ID_WEBSITE)        free function taking nothing
//   OnCommand<&ZoomIn>(ID_ZOOM_IN)             free function taking an object the target owns
//                                              (PictureView& here): the target provides it by
//                                              deriving from ProvidesContext<PictureView>
//   OnMessage<&OnStep>(WM_APP)                 the same, taking (Object&, WPARAM, LPARAM)
// A result that is not LRESULT is converted (void gives 0), so a command's row needs no
// forwarding method of its own.
#pragma once
#include <windows.h>

#include <cstddef>
#include <type_traits>

class CCmdTarget;

// A target that owns an object its rows' free functions act on (the viewer's state, one object
// per layer): the message map hands it to them.
template <class T>
class ProvidesContext {
 public:
  virtual T& ContextOf(T* tag) = 0;

 protected:
  ~ProvidesContext() = default;
};

using MsgThunk = LRESULT (*)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);

struct MessageMapEntry {
  UINT message;
  UINT code;  // WM_COMMAND notification code; 0 for other messages
  UINT id;    // WM_COMMAND control or command id; 0 for other messages
  MsgThunk handler;
};

struct MessageMap {
  const MessageMap* base;  // the base class's map, or null
  const MessageMapEntry* entries;
  size_t count;
};

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
  // The window whose messages this target handles; null for targets without one.
  virtual HWND WindowHandle() const { return nullptr; }

  // The first entry for the message, searching this class's table before its bases'.
  const MessageMapEntry* FindEntry(UINT message, WPARAM wParam) const;
  // Runs the entry for the message if there is one.
  bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
};

namespace message_map_detail {

template <class Method>
struct MemberOf;
template <class T, class R, class... Args>
struct MemberOf<R (T::*)(Args...)> {
  using Class = T;
};

// The object a free function takes first, when it takes one by reference (other than a handle).
template <class F>
struct FirstReference {
  using Type = void;
};
template <class R, class A, class... Args>
struct FirstReference<R (*)(A&, Args...)> {
  using Type = A;
};

template <class Call>
LRESULT ResultOf(Call call) {
  using R = decltype(call());
  if constexpr (std::is_void_v<R>) {
    call();
    return 0;
  } else {
    return static_cast<LRESULT>(call());
  }
}

template <auto Handler>
LRESULT Call(CCmdTarget* target, WPARAM wParam, LPARAM lParam) {
  using H = decltype(Handler);
  if constexpr (std::is_member_function_pointer_v<H>) {
    auto* self = static_cast<typename MemberOf<H>::Class*>(target);
    if constexpr (std::is_invocable_v<H, decltype(self), WPARAM, LPARAM>) {
      return ResultOf([&] { return (self->*Handler)(wParam, lParam); });
    } else {
      return ResultOf([&] { return (self->*Handler)(); });
    }
  } else if constexpr (!std::is_void_v<typename FirstReference<H>::Type>) {
    using Context = typename FirstReference<H>::Type;
    auto* owner = dynamic_cast<ProvidesContext<Context>*>(target);
    if (owner == nullptr) return 0;
    Context& context = owner->ContextOf(static_cast<Context*>(nullptr));
    if constexpr (std::is_invocable_v<H, Context&, WPARAM, LPARAM>) {
      return ResultOf([&] { return Handler(context, wParam, lParam); });
    } else {
      return ResultOf([&] { return Handler(context); });
    }
  } else if constexpr (std::is_invocable_v<H, HWND, WPARAM, LPARAM>) {
    return ResultOf([&] { return Handler(target->WindowHandle(), wParam, lParam); });
  } else if constexpr (std::is_invocable_v<H, HWND>) {
    return ResultOf([&] { return Handler(target->WindowHandle()); });
  } else {
    return ResultOf([&] { return Handler(); });
  }
}

}  // namespace message_map_detail

template <auto Handler>
constexpr MessageMapEntry OnMessage(UINT message) {
  return MessageMapEntry{message, 0, 0, &message_map_detail::Call<Handler>};
}

template <auto Handler>
constexpr MessageMapEntry OnCommand(UINT id, UINT code = 0) {
  return MessageMapEntry{WM_COMMAND, code, id, &message_map_detail::Call<Handler>};
}
