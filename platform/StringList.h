// A plain list of 8-bit strings.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

class TStringList {
public:
    void Add(std::string line) { lines_.push_back(std::move(line)); }
    void Clear() { lines_.clear(); }
    void Delete(std::size_t index) {
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index));
    }
    void Assign(const TStringList& other) { lines_ = other.lines_; }
    std::size_t Count() const { return lines_.size(); }
    bool Empty() const { return lines_.empty(); }

    const std::string& operator[](std::size_t index) const { return lines_[index]; }
    std::string& operator[](std::size_t index) { return lines_[index]; }
    auto begin() const { return lines_.begin(); }
    auto end() const { return lines_.end(); }

private:
    std::vector<std::string> lines_;
};

} // namespace platform
