#include "flex/FlexBodyMesh.h"

#include "flex/VisFlexBodyObject.h"
#include "scene/ObjectServices.h"

bool flexBodyMesh(const unsigned char* frame, std::size_t size, FileSource& files,
                  TriangleMesh& mesh)
{
    ObjectContext context;
    context.services.files = &files;
    // Bent on the processor: the same shape as the other back-ends give.
    osg::ref_ptr<VisFlexBodyObject> body =
        new VisFlexBodyObject(context, DeformationMode::Processor);
    return objectTriangles(*body, frame, size, mesh);
}
