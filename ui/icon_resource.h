// Icon resources of a module: an RT_GROUP_ICON directory naming one RT_ICON
// image per size, as the resource compiler lays out an .ico file. The window
// takes the program's icon from here.
#pragma once

#include <QIcon>

#include <functional>
#include <string_view>

#include "platform/resources.h"
#include "platform/win_types.h"

namespace bvlui {

// The icon of a group directory (reserved 0, type 1, the count, then one
// 14-byte entry a size ending in the RT_ICON id of its image), with the
// images that `imageBytes(id)` hands out. An entry whose image is missing or
// does not decode (PNG-compressed images are read; the older bitmap form is
// not) is left out; a damaged directory gives the empty icon.
QIcon IconFromGroup(std::string_view group, const std::function<std::string_view(unsigned)>& imageBytes);

// Icon `id` of `module` (null: the program's own) in `language`: every size
// of it that decodes. Empty when the module has no such icon.
QIcon LoadIconResource(win::HMODULE module, unsigned id, win::WORD language);

}  // namespace bvlui
