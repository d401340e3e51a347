// Bytes as a project file. What parses must survive a save through a file and a read back
// with the same keys, types and bits; a refused file must leave the message untouched.

#include "fuzzinput.h"
#include "oxMessage.h"
#include "oxProjectFile.h"

#include "OSGVector.h"

#include <boost/any.hpp>

#include <cstdint>
#include <cstdio>
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

std::string tempDir()
{
    static std::string dir;
    if (dir.empty())
    {
        char pattern[] = "/tmp/fuzz_projectfile.XXXXXX";
        fuzzRequire(mkdtemp(pattern) != nullptr, "a temporary directory can be made");
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
        fuzzRequire(!error.empty(), "a refused file gives an error");
        fuzzRequire(msg.id() == 7 && msg.size() == 1 && msg.has("kept"), "a refused file leaves the message");
        return 0;
    }
    fuzzRequire(msg.id() == 7, "a parse keeps the message's id");

    const std::string path = tempDir() + "/project.json";
    if (!oxProjectFile::write(path, msg, error))
        fuzzFail(("a parsed message can be saved: " + error).c_str());
    oxMessage back(7);
    if (!oxProjectFile::read(path, back, error))
        fuzzFail(("a saved file can be read: " + error).c_str());
    fuzzRequire(back.size() == msg.size(), "a save and read keep the number of keys");
    for (const auto& entry : msg.values())
        if (!sameValue(entry.second, back.get(entry.first)))
            fuzzFail(("a save and read keep the value of " + entry.first).c_str());
    return 0;
}
