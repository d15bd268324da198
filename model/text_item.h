#pragma once

#include <string>
#include <string_view>

#include "model/item.h"

namespace cb {

// Plain text, kept as UTF-8. It is read as Unicode text and offered both as Unicode text and
// as text in the ANSI code page.
class TextItem final : public Item {
public:
    static constexpr unsigned archiveVersion = 0;
    static constexpr bool archiveTracked = true;

    TextItem() = default;
    explicit TextItem(std::u16string_view text) { setText(text); }

    const std::string& textUtf8() const { return text_; }
    void setTextUtf8(std::string text) { text_ = std::move(text); }
    std::u16string text() const;
    void setText(std::u16string_view text);

    // What rendering writes for a format: for CF_UNICODETEXT the UTF-16 text and a NUL
    // character, for CF_TEXT the ANSI text and a zero byte; nothing for any other format.
    std::string renderedBytes(ClipFormat format) const;

    void appendFormats(std::vector<FormatPair>& formats) const override;
    HResult getData(const platform::FormatEtc& request,
                    platform::StgMedium& medium) const override;
    HResult getDataHere(const platform::FormatEtc& request,
                        platform::StgMedium& medium) const override;
    bool readFrom(platform::IDataObject& source) override;

    template <class Archive>
    void serialize(Archive& ar, unsigned) {
        ar(text_);
    }

protected:
    bool sameData(const Item& other) const override;

private:
    std::string text_;
};

}  // namespace cb
