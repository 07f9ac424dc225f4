// The process-wide objects, in one place so that they are constructed in this order and
// destroyed in the reverse one: the imaging library is shut down by currentImage's destruction,
// after the window is gone and before the list and the application object.
#include "app/win32/vistrel_app.h"
#include "imagelist/win32/image_list.h"
#include "picture/win32/dib_image.h"

CVistrelApp theApp;
std::vector<std::wstring> ImageList;
CImage currentImage;
std::wstring startPath;

int32_t currentIndex = 0;
