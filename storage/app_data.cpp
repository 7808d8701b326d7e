#include "storage/app_data.h"

#include "platform/files.h"
#include "platform/shell.h"

namespace bc::storage {

std::u16string ApplicationDataFolder(platform::IPlatform& platform) {
  std::u16string base;
  if (!platform::SUCCEEDED(platform.Shell().SHGetFolderPathW(
          platform::CSIDL_APPDATA, platform::SHGFP_TYPE_CURRENT, &base)) ||
      base.empty())
    return {};
  if (base.back() != u'\\') base += u'\\';
  base += kAppDataSubFolder;
  platform.Files().SHCreateDirectoryExW(base);
  return base;
}

}  // namespace bc::storage
