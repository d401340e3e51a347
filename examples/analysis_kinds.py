"""One analysis kind on whatever model is loaded, ready for an image.

    oxhost --mesh part.stl --render part.png examples/analysis_kinds.py zebra
    oxhost --sample teapot --render teapot.png --size 960x600 examples/analysis_kinds.py curvature

The kind is one of oxHost.analysisKinds(): isophotes, zebra (the host's stripes, reflected by
every surface), reflection (reflection lines of light tubes), rings (reflections of the light
sphere's rings), highlight (highlight lines), curvature. oxHost.showAnalysis(kind) sets it up for
the current view, as one undo step: for reflection and highlight the light tubes on a plane above
the model on the up axis, spaced for its size; the light visuals hidden so that
they do not cover the model. The command line does the same without a script:

    oxhost part.stl --analysis zebra --render part.png
"""
import sys

import oxHost

kind = sys.argv[1] if len(sys.argv) > 1 else "zebra"
try:
    oxHost.showAnalysis(kind)
except ValueError as e:
    sys.exit(str(e))
print(f"{kind} on {', '.join(oxHost.meshes()) or 'an empty model'}")
