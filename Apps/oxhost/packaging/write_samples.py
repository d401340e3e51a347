# The CAD samples that are installed: write_samples.py FOLDER NAME..., one STEP file per name.
import os
import sys

import oxHost

for name in sys.argv[2:]:
    oxHost.writeCadSample(name, os.path.join(sys.argv[1], name + ".step"))
