#include "tests/tapeio/container_file_fixture.h"

#include <algorithm>
#include <chrono>
#include <fstream>

#include "tapeio/tape_io_objects.h"

namespace brx_test {

uint8_t pattern_byte(size_t index, uint64_t i)
{
    return static_cast<uint8_t>(index * 37 + i * 7 + (i >> 8) * 13 + 1);
}

std::vector<uint8_t> pattern(size_t index, uint32_t length)
{
    std::vector<uint8_t> bytes(length);
    for (uint32_t i = 0; i < length; ++i)
        bytes[i] = pattern_byte(index, i);
    return bytes;
}

void put_be32(uint8_t* bytes, uint32_t value)
{
    for (int i = 3; i >= 0; --i, value >>= 8)
        bytes[i] = static_cast<uint8_t>(value);
}

std::vector<uint8_t> header_bytes(uint32_t length, uint32_t back_pointer)
{
    std::vector<uint8_t> bytes(8);
    put_be32(bytes.data(), length);
    put_be32(bytes.data() + 4, back_pointer);
    return bytes;
}

layout_t lay_out(const std::vector<uint32_t>& lengths, uint64_t first_offset)
{
    layout_t layout;
    layout.end = first_offset;
    for (uint32_t length : lengths) {
        layout.offsets.push_back(layout.end);
        layout.end += 8 + uint64_t{length};
    }
    return layout;
}

const char* op_name(op_t op)
{
    static const char* const names[] = {
        "read_forward",         "read_reverse",         "space_file_forward",  "space_file_reverse",
        "space_record_forward", "space_record_reverse", "step_record_forward", "step_record_reverse",
        "write_tape_mark",      "rewind",               "write_record",        "erase",
        "flush",                "setup",                "unload",
    };
    return names[static_cast<int>(op)];
}

container_file_test::container_file_test() : container_file_test(brx_file_tape_io) {}

container_file_test::container_file_test(brx_file_tape_io_t& driver) : tape(driver), buffer(65536) {}

void container_file_test::SetUp()
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("brx-file-driver-") + info->test_suite_name() + "-" + info->name() + "-" +
                       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    for (char& c : name)
        if (c == '/')
            c = '_';
    directory = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(directory);
}

void container_file_test::TearDown()
{
    close();
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
}

std::string container_file_test::path(const std::string& name) const { return (directory / name).string(); }

layout_t container_file_test::create(const std::vector<uint32_t>& lengths, uint32_t sparse_above)
{
    layout_t layout = lay_out(lengths);
    create_bytes({});
    for (size_t i = 0; i < lengths.size(); ++i) {
        uint32_t back = i == 0 ? 1 : static_cast<uint32_t>(layout.offsets[i - 1]);
        patch(layout.offsets[i], header_bytes(lengths[i], back));
        if (lengths[i] <= sparse_above)
            patch(layout.offsets[i] + 8, pattern(i, lengths[i]));
    }
    std::filesystem::resize_file(path(), layout.end);
    return layout;
}

void container_file_test::create_bytes(const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good());
}

void container_file_test::patch(uint64_t offset, const std::vector<uint8_t>& bytes)
{
    std::fstream out(path(), std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(offset));
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "patching at " << offset;
}

void container_file_test::append(const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path(), std::ios::binary | std::ios::app);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good());
}

std::vector<uint8_t> container_file_test::contents() const
{
    std::ifstream in(path(), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void container_file_test::open(DWORD access)
{
    // Shared, so that a test can damage the file while the driver has it open.
    file = CreateFileA(path().c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    handle.attach(file);
    ASSERT_EQ(tape.setup(&handle, buffer.data(), static_cast<uint32_t>(buffer.size())), 1);
}

void container_file_test::close()
{
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
}

uint64_t container_file_test::file_pointer()
{
    LONG high = 0;
    SetLastError(NO_ERROR);
    DWORD low = SetFilePointer(file, 0, &high, FILE_CURRENT);
    EXPECT_FALSE(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
    return (uint64_t{static_cast<uint32_t>(high)} << 32) | low;
}

void container_file_test::expect_at(uint64_t position, uint64_t prev_offset, int32_t block_count,
                                    const std::string& where)
{
    EXPECT_EQ(handle.position, position) << where;
    EXPECT_EQ(handle.prev_offset, prev_offset) << where;
    EXPECT_EQ(handle.block_count, block_count) << where;
    EXPECT_EQ(file_pointer(), position) << where << ": file pointer";
}

int32_t container_file_test::run(op_t op, uint32_t count)
{
    uint8_t* b = buffer.data();
    uint32_t size = static_cast<uint32_t>(buffer.size());
    switch (op) {
    case op_t::read_forward: return tape.read_forward(&handle, b, size);
    case op_t::read_reverse: return tape.read_reverse(&handle, b, size);
    case op_t::space_file_forward: return tape.space_file_forward(&handle, b, size);
    case op_t::space_file_reverse: return tape.space_file_reverse(&handle, b, size);
    case op_t::space_record_forward: return tape.space_record_forward(&handle, b, size, count);
    case op_t::space_record_reverse: return tape.space_record_reverse(&handle, b, size, count);
    case op_t::step_record_forward: return tape.step_record_forward(&handle, b, size, count);
    case op_t::step_record_reverse: return tape.step_record_reverse(&handle, b, size, count);
    case op_t::write_tape_mark: return tape.write_tape_mark(&handle, b, size);
    case op_t::rewind: return tape.rewind(&handle, b, size);
    case op_t::write_record: return tape.write_record(&handle, b, 5);
    case op_t::erase: return tape.erase(&handle, b, size);
    case op_t::flush: return tape.flush(&handle, b, size);
    case op_t::setup: return tape.setup(&handle, b, size);
    case op_t::unload: return tape.unload(&handle, b, size);
    }
    return -100;
}

void container_file_test::run_script(const std::vector<step_t>& steps, const layout_t* layout)
{
    for (size_t i = 0; i < steps.size(); ++i) {
        const step_t& step = steps[i];
        std::string where = "step " + std::to_string(i) + " (" + op_name(step.op) + ")";
        std::fill(buffer.begin(), buffer.end(), uint8_t{0xEE});
        ASSERT_EQ(run(step.op), step.result) << where << ", last_error " << handle.last_error;
        EXPECT_EQ(handle.last_error, 0u) << where;
        expect_at(step.position, step.prev_offset, step.block_count, where);
        bool read = step.op == op_t::read_forward || step.op == op_t::read_reverse;
        if (layout == nullptr || !read || step.result <= 0)
            continue;
        uint64_t block_offset = step.op == op_t::read_forward ? handle.prev_offset : handle.position;
        size_t index = 0;
        while (index < layout->offsets.size() && layout->offsets[index] != block_offset)
            ++index;
        ASSERT_LT(index, layout->offsets.size()) << where << ": no block at " << block_offset;
        uint32_t length = static_cast<uint32_t>(step.result);
        uint32_t delivered = std::min<uint32_t>(length, static_cast<uint32_t>(buffer.size()) - 8);
        uint32_t first = step.op == op_t::read_forward ? 0 : length - delivered;
        for (uint32_t k = 0; k < delivered; ++k)
            ASSERT_EQ(data()[k], pattern_byte(index, first + k)) << where << ": data byte " << k;
    }
}

}  // namespace brx_test
