// Writers of the grid map, exchange grid and dataset layouts. Numbers are
// formatted into a row buffer (exactly as printf's fixed formats would write
// them) and each row goes out in one write; every writer answers whether all
// of its writes reached the file.

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>

#include "core/context.hpp"
#include "core/errors.hpp"
#include "core/output_files.hpp"
#include "grid/grid.hpp"
#include "grid/raster.hpp"

namespace torva {
namespace {

bool grid_is_shaped(const Grid& grid) {
    return grid.rows >= 0 && grid.cols >= 0 &&
           grid.cell_number.size() ==
               static_cast<std::size_t>(grid.rows + 2) * static_cast<std::size_t>(grid.cols + 2);
}

// The value of a cell, or nothing when the per-cell array does not reach it.
bool value_of(const std::vector<double>& values, int cell, double& value) {
    if (cell <= 0 || static_cast<std::size_t>(cell) >= values.size())
        return false;
    value = values[cell];
    return true;
}

// Text written piecewise and sent to the file in large writes.
class TextOut {
  public:
    explicit TextOut(std::FILE* file) : file_(file) { text_.reserve(kFlushAt + 512); }

    // A value as "%<width>.<precision>lf" writes it.
    void fixed(double value, int precision, int width = 0) {
        char digits[400];
        const auto result = std::to_chars(digits, digits + sizeof digits, value,
                                          std::chars_format::fixed, precision);
        const std::size_t n = result.ec == std::errc{} ? result.ptr - digits : 0;
        if (static_cast<int>(n) < width)
            text_.append(width - n, ' ');
        text_.append(digits, n);
    }
    // The shortest digits that read back as exactly this value.
    void exact(double value) {
        char digits[32];
        const auto result = std::to_chars(digits, digits + sizeof digits, value);
        text_.append(digits, result.ec == std::errc{} ? result.ptr : digits);
    }
    void integer(int value) {
        char digits[16];
        const auto result = std::to_chars(digits, digits + sizeof digits, value);
        text_.append(digits, result.ptr);
    }
    void put(std::string_view text) { text_.append(text); }
    void put(char c) { text_.push_back(c); }
    void end_piece() {
        if (text_.size() >= kFlushAt)
            flush();
    }
    // False when any write failed.
    bool finish() {
        flush();
        return ok_;
    }

  private:
    static constexpr std::size_t kFlushAt = 1 << 16;
    void flush() {
        if (!text_.empty() && std::fwrite(text_.data(), 1, text_.size(), file_) != text_.size())
            ok_ = false;
        text_.clear();
    }
    std::FILE* file_;
    std::string text_;
    bool ok_ = true;
};

void put_header_line(TextOut& out, const char* word, double value) {
    out.put(word);
    out.fixed(value, 2, 9);
    out.put('\n');
}

void write_grid_map_header(TextOut& out, const Grid& grid) {
    put_header_line(out, "north: ", grid.north);
    put_header_line(out, "south: ", grid.south);
    put_header_line(out, "east: ", grid.east);
    put_header_line(out, "west: ", grid.west);
    char line[64];
    std::snprintf(line, sizeof line, "rows: %5d\ncols: %5d\n", grid.rows, grid.cols);
    out.put(line);
}

// Calls write_cell(cell number or 0) for every grid position, row by row from
// the north, and ends each row with a newline.
template <typename WriteCell>
void walk_rows(TextOut& out, const Grid& grid, WriteCell write_cell) {
    if (!grid_is_shaped(grid))
        return;
    for (int r = 1; r <= grid.rows; ++r) {
        for (int c = 1; c <= grid.cols; ++c) write_cell(grid.number_at(r, c));
        out.put('\n');
        out.end_piece();
    }
}

// Little-endian binary fields of the binary dataset encoding.
class BinaryOut {
  public:
    explicit BinaryOut(std::FILE* file) : file_(file) {}
    void int32(std::int32_t v) { put(static_cast<std::uint32_t>(v), 4); }
    void int16(std::int16_t v) { put(static_cast<std::uint16_t>(v), 2); }
    void float64(double v) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        put(bits, 8);
    }
    void bytes(const char* data, std::size_t n) {
        bytes_.insert(bytes_.end(), data, data + n);
        if (bytes_.size() >= 1 << 16)
            flush();
    }
    bool finish() {
        flush();
        return ok_;
    }

  private:
    void put(std::uint64_t bits, int n) {
        for (int i = 0; i < n; ++i) bytes_.push_back(static_cast<char>(bits >> (8 * i)));
        if (bytes_.size() >= 1 << 16)
            flush();
    }
    void flush() {
        if (!bytes_.empty() && std::fwrite(bytes_.data(), 1, bytes_.size(), file_) != bytes_.size())
            ok_ = false;
        bytes_.clear();
    }
    std::FILE* file_;
    std::vector<char> bytes_;
    bool ok_ = true;
};

}  // namespace

bool write_grid_map(std::FILE* file, const Grid& grid, const std::vector<double>& values) {
    TextOut out(file);
    write_grid_map_header(out, grid);
    walk_rows(out, grid, [&](int cell) {
        double value = 0.0;
        value_of(values, cell, value);
        out.fixed(value, 6);
        out.put(' ');
    });
    return out.finish();
}

bool write_grid_map_exact(std::FILE* file, const Grid& grid, const std::vector<double>& values) {
    TextOut out(file);
    write_grid_map_header(out, grid);
    walk_rows(out, grid, [&](int cell) {
        double value = 0.0;
        value_of(values, cell, value);
        out.exact(value);
        out.put(' ');
    });
    return out.finish();
}

bool write_cell_number_map(std::FILE* file, const Grid& grid) {
    TextOut out(file);
    write_grid_map_header(out, grid);
    walk_rows(out, grid, [&](int cell) {
        out.integer(cell);
        out.put(' ');
    });
    return out.finish();
}

bool write_exchange_grid(std::FILE* file, const Grid& grid, const std::vector<double>& values) {
    TextOut out(file);
    const double half = grid.cell_size / 2.0;
    char line[64];
    std::snprintf(line, sizeof line, "ncols \t%d\nnrows \t%d\n", grid.cols, grid.rows);
    out.put(line);
    put_header_line(out, "xllcenter ", std::min(grid.east, grid.west) + half);
    put_header_line(out, "yllcenter ", std::min(grid.north, grid.south) + half);
    put_header_line(out, "cellsize ", grid.cell_size);
    out.put("NODATA_value ");
    out.put(kExchangeNoData);
    out.put('\n');
    // Cells outside the mask carry exactly the no-data value the header
    // declares, so that every reader of the file leaves them out.
    walk_rows(out, grid, [&](int cell) {
        double value = 0.0;
        if (value_of(values, cell, value))
            out.fixed(value, 4, 6);
        else
            out.put(kExchangeNoData);
        out.put(' ');
    });
    return out.finish();
}

OutputFile open_dataset(RunContext& ctx, std::string_view path, int object_id,
                        std::string_view name, const Grid& grid, DatasetEncoding encoding) {
    const bool binary = encoding == DatasetEncoding::binary;
    OutputFile file = open_output_file(ctx, path, Numbering::numbered, binary ? "wb" : "w");
    if (!file) {
        ctx.error.raise(err::open_output_file, {.text2 = file.path().empty() ? path : file.path()});
        return file;
    }
    const int cells = grid.rows * grid.cols;
    const std::string quantity(name);
    if (!binary) {
        file.print("DATASET\nOBJTYPE grid2d\nBEGSCL\nOBJID %d\nND %d\nNC %d\nNAME %s\n", object_id,
                   cells, cells, quantity.c_str());
        return file;
    }
    BinaryOut out(file.get());
    out.int32(3000);  // version
    out.int32(100);   // object type
    out.int32(4);
    out.int32(110);  // value size
    out.int32(8);
    out.int32(120);  // flag size
    out.int32(2);
    out.int32(130);  // scalar data
    out.int32(160);  // object id
    out.int32(object_id);
    out.int32(170);  // value count
    out.int32(cells);
    out.int32(180);  // cell count
    out.int32(cells);
    out.int32(190);  // name, zero-padded to 40 bytes
    char padded[40] = {};
    std::memcpy(padded, quantity.data(), std::min(quantity.size(), sizeof padded));
    out.bytes(padded, sizeof padded);
    out.finish();
    return file;
}

bool write_dataset_step(std::FILE* file, double time, const Grid& grid,
                        const std::vector<double>& values, DatasetEncoding encoding) {
    if (!grid_is_shaped(grid))
        return true;
    const auto value_at = [&](int r, int c) {
        double value = 0.0;
        value_of(values, grid.number_at(r, c), value);
        return value;
    };
    if (encoding == DatasetEncoding::binary) {
        BinaryOut out(file);
        out.int32(200);
        out.int16(1);
        out.float64(time);
        for (int r = 1; r <= grid.rows; ++r)
            for (int c = 1; c <= grid.cols; ++c)
                out.int16(static_cast<std::int16_t>(grid.number_at(r, c) != 0 ? 1 : 0));
        for (int r = 1; r <= grid.rows; ++r)
            for (int c = 1; c <= grid.cols; ++c) out.float64(value_at(r, c));
        return out.finish();
    }
    TextOut out(file);
    out.put("TS 1 ");
    out.fixed(time, 6);
    out.put('\n');
    for (int r = 1; r <= grid.rows; ++r) {
        for (int c = 1; c <= grid.cols; ++c) out.put(grid.number_at(r, c) != 0 ? "1\n" : "0\n");
        out.end_piece();
    }
    for (int r = 1; r <= grid.rows; ++r) {
        for (int c = 1; c <= grid.cols; ++c) {
            out.fixed(value_at(r, c), 6);
            out.put('\n');
        }
        out.end_piece();
    }
    return out.finish();
}

}  // namespace torva
