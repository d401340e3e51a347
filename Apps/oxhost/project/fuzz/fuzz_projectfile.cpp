// Bytes as a project file. What parses must survive a save through a file and a read back
// with the same keys, types and bits; a refused file must leave the message untouched.

#include "oxMessage.h"
#include "oxProjectFile.h"

#include "OSGVector.h"

#include <boost/any.hpp>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace
{
bool sameBits(float a, float b)
{
    return std::memcmp(&a, &b, sizeof(float)) == 0;
}

bool sameValue(const boost::any& a, const boost::any& b)
{
    if (a.type() != b.type())
        return false;
    if (a.type() == typeid(bool))
        return boost::any_cast<bool>(a) == boost::any_cast<bool>(b);
    if (a.type() == typeid(unsigned int))
        return boost::any_cast<unsigned int>(a) == boost::any_cast<unsigned int>(b);
    if (a.type() == typeid(float))
        return sameBits(boost::any_cast<float>(a), boost::any_cast<float>(b));
    if (a.type() == typeid(osg::Vec3f))
    {
        const osg::Vec3f x = boost::any_cast<osg::Vec3f>(a), y = boost::any_cast<osg::Vec3f>(b);
        return sameBits(x[0], y[0]) && sameBits(x[1], y[1]) && sameBits(x[2], y[2]);
    }
    return false;
}

void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_projectfile: %s\n", what);
    std::abort();
}

std::string tempDir()
{
    static std::string dir;
    if (dir.empty())
    {
        char pattern[] = "/tmp/fuzz_projectfile.XXXXXX";
        if (!mkdtemp(pattern))
            fail("cannot make a temporary directory");
        dir = pattern;
        std::atexit(
            []
            {
                std::remove((dir + "/project.json").c_str());
                rmdir(dir.c_str());
            });
    }
    return dir;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    oxMessage msg(7);
    msg.set("kept", boost::any(1u), true);
    std::string error;
    if (!oxProjectFile::parse(text, "fuzz.json", msg, error))
    {
        if (error.empty())
            fail("a refused file gave no error");
        if (msg.id() != 7 || msg.size() != 1 || !msg.has("kept"))
            fail("a refused file changed the message");
        return 0;
    }
    if (msg.id() != 7)
        fail("the id changed");

    const std::string path = tempDir() + "/project.json";
    if (!oxProjectFile::write(path, msg, error))
        fail(("a parsed message cannot be saved: " + error).c_str());
    oxMessage back(7);
    if (!oxProjectFile::read(path, back, error))
        fail(("a saved file cannot be read: " + error).c_str());
    if (back.size() != msg.size())
        fail("the number of keys changed");
    for (const auto& entry : msg.values())
        if (!sameValue(entry.second, back.get(entry.first)))
            fail(("the value of a key changed: " + entry.first).c_str());
    return 0;
}
