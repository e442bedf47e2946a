// Icon resources: the group directory and its images.
#include "ui/icon_resource.h"

#include <QImage>
#include <QPixmap>

#include "platform/little_endian.h"

namespace bvlui {

namespace {

const win::LPCWSTR kIconType = win::MAKEINTRESOURCEW(3);       // RT_ICON
const win::LPCWSTR kGroupIconType = win::MAKEINTRESOURCEW(14);  // RT_GROUP_ICON
constexpr std::size_t kDirectorySize = 6;
constexpr std::size_t kEntrySize = 14;
constexpr std::size_t kEntryIdOffset = 12;

std::string_view ResourceBytes(win::HMODULE module, win::LPCWSTR type, unsigned id, win::WORD language) {
  const win::HRSRC found = win::FindResourceExW(module, type, win::MAKEINTRESOURCEW(id), language);
  if (!found) return {};
  const void* data = win::LockResource(win::LoadResource(module, found));
  const win::DWORD size = win::SizeofResource(module, found);
  if (!data || size == 0) return {};
  return std::string_view(static_cast<const char*>(data), size);
}

}  // namespace

QIcon IconFromGroup(std::string_view group, const std::function<std::string_view(unsigned)>& imageBytes) {
  QIcon icon;
  if (group.size() < kDirectorySize || platform::Get16(group, 0) != 0 || platform::Get16(group, 2) != 1) return icon;
  const std::size_t count = platform::Get16(group, 4);
  if (group.size() < kDirectorySize + count * kEntrySize) return icon;
  for (std::size_t index = 0; index < count; ++index) {
    const unsigned id = platform::Get16(group, kDirectorySize + index * kEntrySize + kEntryIdOffset);
    const std::string_view bytes = imageBytes(id);
    if (bytes.empty()) continue;
    const QImage image = QImage::fromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()));
    if (!image.isNull()) icon.addPixmap(QPixmap::fromImage(image));
  }
  return icon;
}

QIcon LoadIconResource(win::HMODULE module, unsigned id, win::WORD language) {
  return IconFromGroup(ResourceBytes(module, kGroupIconType, id, language), [&](unsigned imageId) {
    return ResourceBytes(module, kIconType, imageId, language);
  });
}

}  // namespace bvlui
