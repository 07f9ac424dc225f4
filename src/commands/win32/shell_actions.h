// Open With, Properties, Print and the web page, handed to the shell without waiting for it and
// without an owner window. Window's thread only.
#pragma once

// The first three act on the shown file and do nothing when the list is empty.
void OpenWith();
void ShowProperties();
void PrintImage();
void OpenWebsite();
