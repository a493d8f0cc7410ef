// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The preview box: a found file's first bytes, read from the volume by the
// copy itself (session::FileHeadReader, into memory), shown as text when they
// are text, else in hex; the user switches between the two.

#include "win32/DialogBase.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sarvik::win32 {

struct PreviewBytes {
    std::string name; ///< UTF-8, as listed
    std::vector<std::byte> bytes;
    std::uint64_t fileSize = 0; ///< the row's size
    std::uint64_t intact = 0;   ///< how many of the bytes are still the file's
};

/// A picture the bytes decode to: its size, and a bitmap of it shrunk to fit.
struct PreviewPicture {
    int width = 0, height = 0;
    HBITMAP bitmap = nullptr; ///< the caller's to delete; null when the bytes are no picture
};
[[nodiscard]] PreviewPicture decodePicture(const std::vector<std::byte>& bytes, int maxWidth, int maxHeight);

class PreviewDialog final : public DialogBase {
public:
    explicit PreviewDialog(PreviewBytes content) : m_content(std::move(content)) {}
    ~PreviewDialog() override;
    PreviewDialog(const PreviewDialog&) = delete;
    PreviewDialog& operator=(const PreviewDialog&) = delete;

private:
    void init() override;
    bool command(int id, int code) override;
    void drive() override;
    enum class Shown { Picture, Text, Hex };
    void show(Shown shown);

    PreviewBytes m_content;
    HFONT m_fixed = nullptr;
    PreviewPicture m_picture;
};

} // namespace sarvik::win32
