// The input layer's own state, in one object the viewer owns: input held while the viewer is
// busy. It acts through the commands, the browser and the picture view it is given. Window's
// thread only.
#pragma once
#include <windows.h>

#include <deque>

#include "commands/win32/commands.h"

class ViewerInput {
 public:
  explicit ViewerInput(Commands& commands) : commands(commands), browse(commands.browse), view(commands.browse.view) {}
  ViewerInput(const ViewerInput&) = delete;
  ViewerInput& operator=(const ViewerInput&) = delete;

  Commands& commands;
  Browser& browse;
  PictureView& view;
  std::deque<MSG> held;  // in the order it came
  bool heldKeyReleased = false;  // an arrow key went up while its repeats waited in `held`
};
