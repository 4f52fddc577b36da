#include "services/photo_page.h"

#include <array>

#include "formats/json_parser.h"

namespace wy {

namespace {

const std::array<const char*, kPhotoLines> kKeys = {"upload_date", "photo_id",      "longitude",
                                                    "latitude",    "photo_title",   "owner_id",
                                                    "owner_name",  "photo_file_url"};

// The photos are the objects of the top-level "photos" array; of each, the
// members of kKeys at its own level (anything nested deeper is skipped).
class TPhotoPageReader : public TSAJ {
 public:
  explicit TPhotoPageReader(std::vector<std::string>& items) : FItems(items) {}

  bool HasMore() const { return FHasMore && FListWhole && FPhotos > 0; }

 protected:
  void StartElement(const std::string& name) override { FPath.push_back(name); }
  void EndElement() override {
    if (InList()) FListWhole = true;  // the list's "]"
    if (!FPath.empty()) FPath.pop_back();
  }
  void StartObject() override {
    if (InList()) {
      FPhoto.fill(std::string());
      FInPhoto = true;
    }
    ++FDepth;
  }
  void EndObject() override {
    if (FDepth == 2 && FInPhoto) {
      FItems.insert(FItems.end(), FPhoto.begin(), FPhoto.end());
      FInPhoto = false;
      ++FPhotos;
    }
    --FDepth;
  }
  void SetElementValue(const std::string& value) override {
    if (FDepth == 1 && FPath.size() == 1 && FPath[0] == "has_more") {
      FHasMore = value == "true";
    } else if (FDepth == 2 && FInPhoto && FPath.size() == 3) {
      for (int i = 0; i < kPhotoLines; ++i)
        if (FPath[2] == kKeys[i]) FPhoto[i] = JsonDecodeString(value);
    }
  }

 private:
  // Directly inside the photo list (the member "photos", then its array).
  bool InList() const {
    return FDepth == 1 && FPath.size() == 2 && FPath[0] == "photos" && FPath[1].empty();
  }

  std::vector<std::string>& FItems;
  std::vector<std::string> FPath;
  std::array<std::string, kPhotoLines> FPhoto;
  int FDepth = 0;
  int FPhotos = 0;
  bool FInPhoto = false;
  bool FHasMore = false;
  bool FListWhole = false;
};

}  // namespace

void ReadPhotoPage(const std::string& json, std::vector<std::string>& items, bool& has_more) {
  TPhotoPageReader reader(items);
  reader.ParseJSON(json);
  has_more = reader.HasMore();
}

}  // namespace wy
