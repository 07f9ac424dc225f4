#include "picture/orientation.h"

RotateRequest TurnForOrientation(int32_t exifOrientation) {
  switch (exifOrientation) {
    case 3: case 4: return kTurnHalf;
    case 5: case 6: return kTurnClockwise;
    case 7: case 8: return kTurnCounterClockwise;
    default: return kTurnNone;
  }
}

int32_t RotateFlipCodeForTurn(int32_t turn) {
  switch (turn) {
    case kTurnClockwise: return 1;         // Rotate90FlipNone
    case kTurnCounterClockwise: return 3;  // Rotate270FlipNone
    case kTurnHalf: return 2;              // Rotate180FlipNone
    default: return -1;
  }
}
