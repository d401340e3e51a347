#include "oxCadAssembly.h"

#include <BRepBndLib.hxx>
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <Bnd_Box.hxx>
#include <Message.hxx>
#include <Message_PrinterOStream.hxx>
#include <STEPControl_Writer.hxx>
#include <Standard_Failure.hxx>
#include <TopoDS_Shape.hxx>

bool oxCadAssembly::writeGrid(const std::string& partPath, const std::string& stepPath, int columns, int rows,
                              std::string& error)
{
    try
    {
        TopoDS_Shape part;
        BRep_Builder builder;
        if (!BRepTools::Read(part, partPath.c_str(), builder) || part.IsNull())
        {
            error = "cannot read the part \"" + partPath + "\"";
            return false;
        }
        Bnd_Box box;
        BRepBndLib::Add(part, box, false);
        const double dx = 1.1 * (box.CornerMax().X() - box.CornerMin().X()),
                     dy = 1.1 * (box.CornerMax().Y() - box.CornerMin().Y());
        Message::DefaultMessenger()->RemovePrinters(STANDARD_TYPE(Message_PrinterOStream));
        STEPControl_Writer writer;
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c)
            {
                gp_Trsf move;
                move.SetTranslation(gp_Vec(c * dx, r * dy, 0));
                // A copy, not a placed instance: every part brings its own surfaces, as the parts of
                // a real assembly do.
                const TopoDS_Shape copy = BRepBuilderAPI_Transform(part, move, true).Shape();
                if (writer.Transfer(copy, STEPControl_AsIs) != IFSelect_RetDone)
                {
                    error = "cannot transfer a copy of \"" + partPath + "\" to STEP";
                    return false;
                }
            }
        if (writer.Write(stepPath.c_str()) != IFSelect_RetDone)
        {
            error = "cannot write \"" + stepPath + "\"";
            return false;
        }
        return true;
    }
    catch (const Standard_Failure& e)
    {
        error = std::string("cannot make the assembly: ") + e.GetMessageString();
        return false;
    }
}
