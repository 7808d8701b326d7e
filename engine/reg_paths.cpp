#include "engine/reg_paths.h"

#include "base/text.h"
#include "engine/context.h"
#include "platform/registry.h"

namespace bc::engine {

int RootIndexFromName(std::u16string_view name) {
  for (const RootKey& root : kRootKeys) {
    if (root.name == name) return root.index;
  }
  return -1;
}

platform::HKEY RootHandleFromIndex(int index) {
  if (index < 0 || index >= static_cast<int>(kRootKeys.size())) return platform::kNullKey;
  return kRootKeys[static_cast<std::size_t>(index)].handle;
}

int RootIndexFromHandle(platform::HKEY root) {
  for (const RootKey& r : kRootKeys) {
    if (r.handle == root) return r.index;
  }
  return -1;
}

std::u16string_view RootName(platform::HKEY root) {
  const int index = RootIndexFromHandle(root);
  return index < 0 ? std::u16string_view() : kRootKeys[static_cast<std::size_t>(index)].name;
}

std::u16string RootPrefix(platform::HKEY root) {
  const std::u16string_view name = RootName(root);
  if (name.empty()) return {};
  std::u16string prefix(name);
  prefix += u'\\';
  return prefix;
}

std::u16string FullPath(platform::HKEY root, std::u16string_view subKey) {
  std::u16string path = RootPrefix(root);
  if (!path.empty()) path += subKey;
  return path;
}

std::optional<SplitPath> SplitFullPath(std::u16string_view fullPath) {
  const Split parts = SplitFirst(fullPath, u'\\');
  const int index = RootIndexFromName(parts.head);
  if (index < 0) return std::nullopt;
  return SplitPath{RootHandleFromIndex(index), parts.tail};
}

platform::REGSAM ViewBits(bool wow64, int is32BitEntry) {
  if (!wow64) return 0;
  if (is32BitEntry == 1) return platform::KEY_WOW64_32KEY;
  if (is32BitEntry == 0) return platform::KEY_WOW64_64KEY;
  return 0;
}

bool IsWow64(const EngineContext& ctx) {
  return ctx.Facts().wow64;
}

bool IsUserAnAdmin(const EngineContext& ctx) {
  return ctx.Facts().userIsAdmin;
}

bool IsKeyProtected(EngineContext& ctx, platform::HKEY root, std::u16string_view subKey,
                    platform::REGSAM access) {
  if (ctx.Facts().windowsMajorVersion <= 5) return false;
  platform::IRegistry& reg = ctx.Registry();
  return reg.HasSfcIsKeyProtected() && reg.SfcIsKeyProtected(root, subKey, access) != 0;
}

}  // namespace bc::engine
