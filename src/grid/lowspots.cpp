#include "grid/lowspots.hpp"

#include <strings.h>

#include <cstdio>
#include <string>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "input/tokens.hpp"

namespace torva {
namespace {

bool word_is(const std::string& word, const char* keyword) {
    return strcasecmp(word.c_str(), keyword) == 0;
}

// Reads up to and including the line whose first word is the file's first
// word; false (after the messages) when that word is not LOWSPOT.
bool read_file_header(LineReader& reader, RunContext& ctx, const std::string& path) {
    std::string line, word;
    while (reader.next(line)) {
        Tokens tokens(line);
        if (!tokens.text(word))
            continue;
        if (word_is(word, "LOWSPOT"))
            return true;
        break;
    }
    ctx.print_error("The lowspot input file: %s does not start with the LOWSPOT card.\n",
                    path.c_str());
    ctx.print_error("The file format is invalid.  Program terminated.\n");
    ctx.error.raise(err::message_printed);
    return false;
}

// One pass over the lines after the header: counts the SPOT lines and, when
// records are given, fills them (never more than there are records).
int read_spot_lines(LineReader& reader, std::vector<LowSpot>* records) {
    std::string line, word;
    int count = 0;
    while (reader.next(line)) {
        Tokens tokens(line);
        if (!tokens.text(word) || !word_is(word, "SPOT"))
            continue;
        if (records) {
            if (count >= static_cast<int>(records->size()))
                break;
            LowSpot& spot = (*records)[count];
            spot.row = tokens.integer();
            spot.col = tokens.integer();
            spot.side = tokens.integer();
            spot.fraction = tokens.real();
            spot.elevation = tokens.real();
            spot.flow = 0.0;
        }
        ++count;
    }
    return count;
}

const char* side_word(int side) {
    switch (side) {
        case kNorthSide:
            return "top";
        case kEastSide:
            return "right";
        case kSouthSide:
            return "bottom";
        default:
            return "left";
    }
}

int opposite_side(int side) {
    switch (side) {
        case kNorthSide:
            return kSouthSide;
        case kEastSide:
            return kWestSide;
        case kSouthSide:
            return kNorthSide;
        default:
            return kEastSide;
    }
}

int neighbour_across(const Grid& grid, int cell, int side) {
    switch (side) {
        case kNorthSide:
            return grid.north_neighbour[cell];
        case kEastSide:
            return grid.east_neighbour[cell];
        case kSouthSide:
            return grid.south_neighbour[cell];
        default:
            return grid.west_neighbour[cell];
    }
}

void print_low_crest(RunContext& ctx, const LowSpot& spot) {
    ctx.print("\nThe elevation of the overland flow dike low spot you specified in the grid\n");
    ctx.print("cell located at row %d col %d is %f m.  This elevation is lower than the\n",
              spot.row, spot.col, spot.elevation);
}

// The checks of one low spot; false after printing the first failure.
bool low_spot_works(const Grid& grid, RunContext& ctx, const LowSpot& spot,
                    const std::string& path) {
    if (spot.fraction < 0.0 || spot.fraction > 1.5) {
        ctx.print("\nThe fraction of the grid-size specified for the lowspot in the grid at\n");
        ctx.print("row %d col %d is unreasonable, with a value of %f.  Acceptable\n", spot.row,
                  spot.col, spot.fraction);
        ctx.print(" values range from 0.0 to 1.5.  Change the value.  Program terminated.\n");
        return false;
    }
    const int side = spot.side;
    if (side != kNorthSide && side != kEastSide && side != kSouthSide && side != kWestSide) {
        ctx.print("\nThe low spot flow direction specified in row %d col %d in the file %s\n",
                  spot.row, spot.col, path.c_str());
        ctx.print("is not valid.  The only possible directions are: 1- top boundary, 2- right\n");
        ctx.print("boundary, 4- bottom boundary, or 8- left boundary.\n");
        ctx.print("Edit your lowspot file and try again.  Program terminated.\n");
        return false;
    }
    // A position off the grid or outside the mask has no dike either.
    const int cell = grid.number_or_zero(spot.row, spot.col);
    if (cell == 0 || grid.dike_sides[cell] == 0) {
        ctx.print("\nYou have specified an overland flow dike in row %d col %d\n", spot.row,
                  spot.col);
        ctx.print("There is no dike adjacent to this grid cell.  Program stopped.\n");
        return false;
    }
    const int across = neighbour_across(grid, cell, side);
    if (across == 0 || grid.dike_sides[across] == 0) {
        ctx.print("\nYou have specified a low spot on the %s boundary of the grid\n",
                  side_word(side));
        ctx.print("cell at row %d col %d.  Either the side you have specified is not on\n",
                  spot.row, spot.col);
        ctx.print("an overland flow dike, or the cell on the other side is out of the\n");
        ctx.print("watershed.  Check your low spot file.  Program terminated.\n");
        return false;
    }
    if (grid.elevation[cell] > spot.elevation) {
        print_low_crest(ctx, spot);
        ctx.print("elevation of the grid cell, which is %f m.  This situation is impossible.\n",
                  grid.elevation[cell]);
        ctx.print(
            "Please raise the low spot elevation to be greater than the grid cell "
            "elevation.\n");
        ctx.print("Dike / low spot on %s side of cell\n", side_word(side));
        ctx.print("Program terminated\n");
        return false;
    }
    if (grid.elevation[across] > spot.elevation) {
        print_low_crest(ctx, spot);
        ctx.print("elevation of the grid cell on the other side of the dike, which is %f m.\n",
                  grid.elevation[across]);
        ctx.print("This situation is impossible.  Please raise the low spot elevation to be\n");
        ctx.print("greater than the grid cell elevation.\n");
        ctx.print("Dike / low spot on %s side of cell\n", side_word(side));
        ctx.print("Program terminated\n");
        return false;
    }
    if ((grid.dike_sides[across] & opposite_side(side)) == 0) {
        static const char* const kAcross[] = {"top boundary", "right boundary", "bottom boundary",
                                              "left boundary"};
        static const char* const kAlong[] = {"top", "right side", "bottom", "left side"};
        const int i = side == kNorthSide ? 0 : side == kEastSide ? 1 : side == kSouthSide ? 2 : 3;
        ctx.print("\nThe low spot you have specified in the grid at row %d  col %d does not\n",
                  spot.row, spot.col);
        ctx.print("cross the dike.  Rather, it runs _along_ the dike.  You specified flow\n");
        ctx.print("at this low spot across the %s of the cell, while the dike\n", kAcross[i]);
        ctx.print("is running in a different direction than along the %s of the cell.\n",
                  kAlong[i]);
        ctx.print("Program terminated.\n");
        return false;
    }
    return true;
}

}  // namespace

void read_low_spots(Model& model, RunContext& ctx) {
    Grid& grid = model.grid;
    const std::string path = strip_quotes(model.project.text(Card::LOWSPOT_FILE));
    std::FILE* file = path.empty() ? nullptr : std::fopen(path.c_str(), "r");
    if (!file) {
        ctx.error.raise(err::open_file, {.text1 = "lowspot input", .text2 = path});
        return;
    }
    int count = 0;
    {
        LineReader reader(file, ctx);
        if (read_file_header(reader, ctx, path))
            count = read_spot_lines(reader, nullptr);
    }
    if (!ctx.error.pending() && count == 0) {
        ctx.print_error("Premature end-of-file in the lowspot input file.\n");
        ctx.print_error("No SPOT cards encountered before end of file.\n");
        ctx.print_error("Program terminated.\n");
        ctx.error.raise(err::message_printed);
    }
    if (!ctx.error.pending()) {
        std::rewind(file);
        grid.low_spots.assign(count, LowSpot{});
        LineReader reader(file, ctx);
        int filled = 0;
        if (read_file_header(reader, ctx, path))
            filled = read_spot_lines(reader, &grid.low_spots);
        grid.low_spots.resize(filled);
    }
    std::fclose(file);
}

void check_low_spots(Model& model, RunContext& ctx) {
    const Grid& grid = model.grid;
    if (grid.dike_sides.size() != static_cast<std::size_t>(grid.num_cells) + 1)
        return;
    const std::string path = strip_quotes(model.project.text(Card::LOWSPOT_FILE));
    for (const LowSpot& spot : grid.low_spots) {
        if (!low_spot_works(grid, ctx, spot, path)) {
            ctx.error.raise(err::message_printed);
            return;
        }
    }
}

}  // namespace torva
