#include "display/Fonts.h"

#include <GL/gl.h>

#include "platform/BitmapFont.h"
#include "platform/GLContext.h"
#include "platform/SystemError.h"

unsigned int fontListBase = 0;

namespace {

constexpr unsigned int kFontCodes = 256;

// The range the font built last; rebuilding there replaces only font lists.
unsigned int g_builtBase = 0;

bool rangeIsFree(unsigned int base)
{
    if (base == 0 || base > ~0u - kFontCodes)
        return false;
    for (unsigned int i = 0; i < kFontCodes; ++i)
        if (glIsList(base + i))
            return false;
    return true;
}

} // namespace

bool createFontDisplayLists(void*, unsigned int listBase)
{
    if (!Platform::GLContext::isAnyCurrent())
        return false;
    unsigned int base = listBase;
    if (base != g_builtBase && !rangeIsFree(base))
        base = glGenLists(GLsizei(kFontCodes));
    if (base == 0 || !Platform::buildBitmapFontLists(0, kFontCodes, base))
        return false;
    g_builtBase = base;
    fontListBase = base;
    return true;
}

std::wstring getLastErrorText()
{
    return Platform::lastSystemErrorText();
}
