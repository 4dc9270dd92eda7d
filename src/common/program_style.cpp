#include "common/program_style.h"

#include "base/ui_language.h"

namespace {

ProgramStyle g_style = kTandrelStyle;

}  // namespace

void SetProgramStyle(const ProgramStyle& style)
{
    g_style = style;
}

const ProgramStyle& GetProgramStyle()
{
    return g_style;
}

bool UsesRightToLeftLayout()
{
    return g_style.rightToLeftLayout && IsRightToLeftUILanguage();
}
