#pragma once

class oxMessage;

// The host's project file access.
class oxFileIO
{
public:
    // The project message: modules read and write their sections in it while the host loads
    // ("_loading" true) or saves ("_loading" false) a project.
    static oxMessage& getProject();
};
