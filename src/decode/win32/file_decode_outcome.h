// What a decoder of our own made of a file, for the caller choosing whether the imaging library
// should try it next.
#pragma once

enum class FileDecodeOutcome {
  kDecoded,    // the image holds the picture
  kNotTaken,   // the image is empty; the imaging library should decode the file as before
  kCancelled,  // the image is empty; cancel was seen set
  kRefused,    // the image is empty; the picture is too large to decode at all
};
