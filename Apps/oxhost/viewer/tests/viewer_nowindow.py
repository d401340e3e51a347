# Without --gui every viewer function refuses, saying how to get the window.
import oxHost

calls = [("viewSize", ()), ("viewPoint", (0, 0, 0)), ("mouse", ("click", 1, 1)), ("key", ("F",)),
         ("screenshot", ("never.png",)), ("panel", ()), ("viewUp", ()), ("frameInfo", ()), ("quit", ())]
for name, args in calls:
    try:
        getattr(oxHost, name)(*args)
    except RuntimeError as e:
        assert str(e) == f"oxHost.{name} needs the viewer window, and there is none: start oxhost with --gui", e
    else:
        raise AssertionError(f"oxHost.{name} ran without a window")
print("all", len(calls), "refused")
