"""The fourteen functions of the oxSurfaceAnalysis script module, one after the other.

    build/bin/oxhost examples/script_functions.py

Each call is one undoable edit, as if the user had made it in the module's panel. oxHost.get
reads the module's properties back; at the end the whole history is undone.
"""
import oxHost

oxHost.setMergeWindow(-1)  # one undo step per call, however quick


def shown(value):
    if isinstance(value, tuple):
        return "(" + ", ".join(f"{v:.3g}" for v in value) + ")"
    return str(value)


def after(call, *properties):
    values = ", ".join(f"{p}={shown(oxHost.get(p))}" for p in properties)
    print(f"{call:48} -> {values}")


enableSurfaceAnalysis(True)
after("enableSurfaceAnalysis(True)", "AnalysisActive")
setSurfaceAnalysisMode(0)  # 0 isophotes, 1 and 2 reflection analyses, 3 curvature
after("setSurfaceAnalysisMode(0)", "AnalysisMode")
setSurfaceAnalysisLineType(1)  # 0 lines, 1 stripes
after("setSurfaceAnalysisLineType(1)", "LineMode")
setSurfaceAnalysisLineCount(20)
after("setSurfaceAnalysisLineCount(20)", "IsoLineCount")
setSurfaceAnalysisLineColor((0.9, 0.1, 0.1))  # any three numbers, or oxHost.Vec3f
after("setSurfaceAnalysisLineColor((0.9, 0.1, 0.1))", "StripeColor")
setSurfaceAnalysisSurfaceLightingMode(2)
after("setSurfaceAnalysisSurfaceLightingMode(2)", "ShadingMode")
setSurfaceAnalysisSurfaceBaseColor(oxHost.Vec3f(0.8, 0.8, 0.7))
after("setSurfaceAnalysisSurfaceBaseColor(Vec3f(...))", "BaseColor")
setSurfaceAnalysisDirection([1, 1, 0])
after("setSurfaceAnalysisDirection([1, 1, 0])", "LightDirection")
setSurfaceAnalysisSetToXAxis()
after("setSurfaceAnalysisSetToXAxis()", "LightDirection")
setSurfaceAnalysisSetToYAxis()
after("setSurfaceAnalysisSetToYAxis()", "LightDirection")
setSurfaceAnalysisSetToZAxis()
after("setSurfaceAnalysisSetToZAxis()", "LightDirection")
setSurfaceAnalysisShowDirection(True)
after("setSurfaceAnalysisShowDirection(True)", "LightDirectionVisibility")
setSurfaceAnalysisUseCamVec(True)
after("setSurfaceAnalysisUseCamVec(True)", "UseViewVector")
setSurfaceAnalysisPickNormal(True)
after("setSurfaceAnalysisPickNormal(True)", "PickNormal")

# Arguments go by position, with the right types; anything else is refused and changes nothing.
for bad in ("enableSurfaceAnalysis(state=True)", "setSurfaceAnalysisLineColor('red')",
            "setSurfaceAnalysisLineCount(2.5)"):
    try:
        eval(bad)
    except TypeError as error:  # Boost.Python's ArgumentError is a TypeError
        print(f"{bad:48} -> refused ({type(error).__name__})")

print(f"\n{oxHost.undoCount()} undo steps; undoing them all:")
while oxHost.undoIndex() > 0:
    oxHost.undo()
after("after undoing everything", "AnalysisActive", "IsoLineCount", "LightDirection")
