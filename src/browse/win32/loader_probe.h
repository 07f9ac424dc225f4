// What the tests may ask the picture loader beyond what the viewer itself needs. Window's
// thread only.
#pragma once

// True while the worker still prepares a neighbour ahead.
bool PreparingAhead();
