// OpenGL 1.1's fixed functions over WebGL, as far as the visuals use them.
// WebGL's own functions are reached under their emscripten_gl names, since
// this file defines some of the gl names itself.
#include "shells/web/gl11_webgl.h"

#include <webgl/webgl1.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <vector>

namespace {

// Column-major, as OpenGL keeps them.
struct Matrix {
    std::array<float, 16> m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

Matrix product(const Matrix& a, const Matrix& b) {
    Matrix r;
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += a.m[size_t(k * 4 + row)] * b.m[size_t(column * 4 + k)];
            r.m[size_t(column * 4 + row)] = sum;
        }
    }
    return r;
}

// OpenGL 1.1 guarantees 32 model-view and 2 projection matrices; both get 32.
constexpr size_t kStackDepth = 32;

struct MatrixStack {
    std::array<Matrix, kStackDepth> matrices;
    size_t top = 0;
};

struct Vertex {
    float x, y, z;
    float s, t;
    float r, g, b, a;
};

// The largest glBegin of the visuals is the cube: 6 quads, 36 corners as triangles.
constexpr size_t kReservedCorners = 256;

struct State {
    MatrixStack modelView;
    MatrixStack projection;
    MatrixStack* current = &modelView;
    std::array<float, 4> colour{1, 1, 1, 1};
    std::array<float, 2> texCoord{0, 0};
    bool texturing = false;
    // A texture without an image (texture 0, or a name never given one, such
    // as the Targa loader's rejected texture) makes OpenGL 1.1 draw as if
    // texturing were off; WebGL would sample black instead.
    GLuint boundTexture = 0;
    std::vector<bool> hasImage;
    GLint environment = GL_MODULATE;
    GLint unpackAlignment = 4;
    bool inBegin = false;
    std::vector<Vertex> quadCorners;
    std::vector<Vertex> triangles;
    std::vector<uint8_t> converted;

    GLuint program = 0;
    GLuint buffer = 0;
    GLint matrixUniform = -1;
    GLint texturingUniform = -1;
    GLint blendUniform = -1;
};

State state;

Matrix& currentMatrix() {
    return state.current->matrices[state.current->top];
}

void multiply(const Matrix& m) {
    currentMatrix() = product(currentMatrix(), m);
}

const char* const kVertexShader = R"(
attribute vec3 position;
attribute vec2 texCoord;
attribute vec4 colour;
uniform mat4 matrix;
varying vec2 vTexCoord;
varying vec4 vColour;
void main() {
    vTexCoord = texCoord;
    vColour = colour;
    gl_Position = matrix * vec4(position, 1.0);
}
)";

// GL_MODULATE: C = Cf Ct, A = Af At. GL_BLEND with the environment colour at
// its default black: C = Cf (1 - Ct), A = Af At. An RGB texture samples with
// At = 1, which gives both modes' rule for RGB textures.
const char* const kFragmentShader = R"(
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
uniform sampler2D image;
uniform float texturing;
uniform float blendMode;
varying vec2 vTexCoord;
varying vec4 vColour;
void main() {
    vec4 c = vColour;
    if (texturing > 0.5) {
        vec4 t = texture2D(image, vTexCoord);
        c = blendMode > 0.5 ? vec4(c.rgb * (1.0 - t.rgb), c.a * t.a) : c * t;
    }
    gl_FragColor = c;
}
)";

GLuint compile(GLenum type, const char* source) {
    GLuint shader = emscripten_glCreateShader(type);
    emscripten_glShaderSource(shader, 1, &source, nullptr);
    emscripten_glCompileShader(shader);
    GLint compiled = 0;
    emscripten_glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled == 0) {
        emscripten_glDeleteShader(shader);
        return 0;
    }
    return shader;
}

int components(GLenum format) {
    switch (format) {
        case GL_RGBA:
            return 4;
        case GL_RGB:
            return 3;
        default:
            return 1;
    }
}

// Float texels become bytes the way OpenGL stores a float image in an
// 8-bit-per-channel texture, which is what the Windows drivers give
// GL_RGB: clamped to 0..1 and rounded. WebGL 1 takes float texels only
// with extensions that not every browser has.
const void* bytesOf(GLsizei width, GLsizei height, GLenum format, const void* pixels) {
    const size_t count = size_t(width) * size_t(height) * size_t(components(format));
    if (state.converted.size() < count) state.converted.resize(count);
    const auto* in = static_cast<const float*>(pixels);
    for (size_t i = 0; i < count; ++i) {
        const float v = in[i] < 0.0f ? 0.0f : (in[i] > 1.0f ? 1.0f : in[i]);
        state.converted[i] = uint8_t(std::lround(v * 255.0f));
    }
    return state.converted.data();
}

void uploadConverted(bool whole, GLenum target, GLint level, GLint x, GLint y, GLsizei width, GLsizei height,
                     GLenum format, const void* pixels) {
    const void* bytes = pixels == nullptr ? nullptr : bytesOf(width, height, format, pixels);
    // The converted rows are packed.
    emscripten_glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (whole) {
        emscripten_glTexImage2D(target, level, GLint(format), width, height, 0, format, GL_UNSIGNED_BYTE,
                                bytes);
    } else {
        emscripten_glTexSubImage2D(target, level, x, y, width, height, format, GL_UNSIGNED_BYTE, bytes);
    }
    emscripten_glPixelStorei(GL_UNPACK_ALIGNMENT, state.unpackAlignment);
}

void drawTriangles() {
    if (state.triangles.empty()) return;
    const Matrix mvp = product(state.projection.matrices[state.projection.top],
                               state.modelView.matrices[state.modelView.top]);
    emscripten_glUniformMatrix4fv(state.matrixUniform, 1, GL_FALSE, mvp.m.data());
    const bool imaged = state.boundTexture < state.hasImage.size() && state.hasImage[state.boundTexture];
    emscripten_glUniform1f(state.texturingUniform, state.texturing && imaged ? 1.0f : 0.0f);
    emscripten_glUniform1f(state.blendUniform, state.environment == GL_BLEND ? 1.0f : 0.0f);
    emscripten_glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(state.triangles.size() * sizeof(Vertex)),
                            state.triangles.data(), GL_STREAM_DRAW);
    emscripten_glDrawArrays(GL_TRIANGLES, 0, GLsizei(state.triangles.size()));
}

}  // namespace

namespace render {

bool attachGl11() {
    // The state kept here belongs to the context: a texture name of the one
    // before has no image in this one.
    state = State{};
    GLuint vertexShader = compile(GL_VERTEX_SHADER, kVertexShader);
    GLuint fragmentShader = compile(GL_FRAGMENT_SHADER, kFragmentShader);
    if (vertexShader == 0 || fragmentShader == 0) return false;
    GLuint program = emscripten_glCreateProgram();
    emscripten_glAttachShader(program, vertexShader);
    emscripten_glAttachShader(program, fragmentShader);
    emscripten_glBindAttribLocation(program, 0, "position");
    emscripten_glBindAttribLocation(program, 1, "texCoord");
    emscripten_glBindAttribLocation(program, 2, "colour");
    emscripten_glLinkProgram(program);
    GLint linked = 0;
    emscripten_glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked == 0) return false;
    emscripten_glUseProgram(program);
    state.program = program;
    state.matrixUniform = emscripten_glGetUniformLocation(program, "matrix");
    state.texturingUniform = emscripten_glGetUniformLocation(program, "texturing");
    state.blendUniform = emscripten_glGetUniformLocation(program, "blendMode");
    emscripten_glUniform1i(emscripten_glGetUniformLocation(program, "image"), 0);

    emscripten_glGenBuffers(1, &state.buffer);
    if (state.buffer == 0) return false;
    emscripten_glBindBuffer(GL_ARRAY_BUFFER, state.buffer);
    const auto stride = GLsizei(sizeof(Vertex));
    emscripten_glEnableVertexAttribArray(0);
    emscripten_glEnableVertexAttribArray(1);
    emscripten_glEnableVertexAttribArray(2);
    emscripten_glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride,
                                     reinterpret_cast<const void*>(offsetof(Vertex, x)));
    emscripten_glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, stride,
                                     reinterpret_cast<const void*>(offsetof(Vertex, s)));
    emscripten_glVertexAttribPointer(2, 4, GL_FLOAT, GL_FALSE, stride,
                                     reinterpret_cast<const void*>(offsetof(Vertex, r)));
    state.quadCorners.reserve(kReservedCorners);
    state.triangles.reserve(kReservedCorners * 3 / 2);
    return true;
}

}  // namespace render

extern "C" {

void glEnable(GLenum cap) {
    // Texturing is a switch of the shader; WebGL has no such capability.
    if (cap == GL_TEXTURE_2D) {
        state.texturing = true;
        return;
    }
    emscripten_glEnable(cap);
}

void glDisable(GLenum cap) {
    if (cap == GL_TEXTURE_2D) {
        state.texturing = false;
        return;
    }
    emscripten_glDisable(cap);
}

void glBindTexture(GLenum target, GLuint texture) {
    if (target == GL_TEXTURE_2D) state.boundTexture = texture;
    emscripten_glBindTexture(target, texture);
}

void glHint(GLenum target, GLenum mode) {
    // WebGL always interpolates in perspective.
    if (target == GL_PERSPECTIVE_CORRECTION_HINT) return;
    emscripten_glHint(target, mode);
}

void glShadeModel(GLenum) {
    // Smooth shading is all there is; the visuals ask for nothing else.
}

void glClearDepth(GLclampd depth) {
    emscripten_glClearDepthf(GLclampf(depth));
}

void glTexEnvi(GLenum target, GLenum pname, GLint param) {
    if (target == GL_TEXTURE_ENV && pname == GL_TEXTURE_ENV_MODE) state.environment = param;
}

void glPixelStorei(GLenum pname, GLint param) {
    if (pname == GL_UNPACK_ALIGNMENT) state.unpackAlignment = param;
    emscripten_glPixelStorei(pname, param);
}

void glTexImage2D(GLenum target, GLint level, GLint, GLsizei width, GLsizei height, GLint, GLenum format,
                  GLenum type, const void* pixels) {
    // Names come from WebGL's own count, so they stay small.
    const GLuint name = state.boundTexture;
    if (target == GL_TEXTURE_2D && level == 0 && name != 0 && name < (1u << 16)) {
        if (state.hasImage.size() <= name) state.hasImage.resize(size_t(name) + 1, false);
        state.hasImage[name] = true;
    }
    if (type == GL_FLOAT) {
        uploadConverted(true, target, level, 0, 0, width, height, format, pixels);
        return;
    }
    // WebGL 1 wants the internal format to be the format.
    emscripten_glTexImage2D(target, level, GLint(format), width, height, 0, format, type, pixels);
}

void glTexSubImage2D(GLenum target, GLint level, GLint xoffset, GLint yoffset, GLsizei width, GLsizei height,
                     GLenum format, GLenum type, const void* pixels) {
    if (type == GL_FLOAT) {
        uploadConverted(false, target, level, xoffset, yoffset, width, height, format, pixels);
        return;
    }
    emscripten_glTexSubImage2D(target, level, xoffset, yoffset, width, height, format, type, pixels);
}

void glMatrixMode(GLenum mode) {
    state.current = mode == GL_PROJECTION ? &state.projection : &state.modelView;
}

void glLoadIdentity() {
    currentMatrix() = Matrix{};
}

void glPushMatrix() {
    MatrixStack& stack = *state.current;
    // A full stack is an error that changes nothing, as in OpenGL.
    if (stack.top + 1 >= kStackDepth) return;
    stack.matrices[stack.top + 1] = stack.matrices[stack.top];
    ++stack.top;
}

void glPopMatrix() {
    MatrixStack& stack = *state.current;
    if (stack.top == 0) return;
    --stack.top;
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    Matrix m;
    m.m[12] = x;
    m.m[13] = y;
    m.m[14] = z;
    multiply(m);
}

void glScalef(GLfloat x, GLfloat y, GLfloat z) {
    Matrix m;
    m.m[0] = x;
    m.m[5] = y;
    m.m[10] = z;
    multiply(m);
}

void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    const float length = std::sqrt(x * x + y * y + z * z);
    if (length == 0.0f) return;
    x /= length;
    y /= length;
    z /= length;
    const float radians = angle * 3.14159265358979f / 180.0f;
    const float c = std::cos(radians);
    const float s = std::sin(radians);
    const float d = 1.0f - c;
    Matrix m;
    m.m[0] = x * x * d + c;
    m.m[1] = y * x * d + z * s;
    m.m[2] = x * z * d - y * s;
    m.m[4] = x * y * d - z * s;
    m.m[5] = y * y * d + c;
    m.m[6] = y * z * d + x * s;
    m.m[8] = x * z * d + y * s;
    m.m[9] = y * z * d - x * s;
    m.m[10] = z * z * d + c;
    multiply(m);
}

void glOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear, GLdouble zFar) {
    Matrix m;
    m.m[0] = float(2.0 / (right - left));
    m.m[5] = float(2.0 / (top - bottom));
    m.m[10] = float(-2.0 / (zFar - zNear));
    m.m[12] = float(-(right + left) / (right - left));
    m.m[13] = float(-(top + bottom) / (top - bottom));
    m.m[14] = float(-(zFar + zNear) / (zFar - zNear));
    multiply(m);
}

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
    const double radians = fovy / 2.0 * 3.14159265358979323846 / 180.0;
    const double sine = std::sin(radians);
    const double depth = zFar - zNear;
    if (depth == 0.0 || sine == 0.0 || aspect == 0.0) return;
    const double cotangent = std::cos(radians) / sine;
    Matrix m;
    m.m[0] = float(cotangent / aspect);
    m.m[5] = float(cotangent);
    m.m[10] = float(-(zFar + zNear) / depth);
    m.m[11] = -1.0f;
    m.m[14] = float(-2.0 * zNear * zFar / depth);
    m.m[15] = 0.0f;
    multiply(m);
}

void glBegin(GLenum) {
    // Quads are the only primitive the visuals draw.
    state.inBegin = true;
    state.quadCorners.clear();
}

void glEnd() {
    state.inBegin = false;
    state.triangles.clear();
    const std::vector<Vertex>& q = state.quadCorners;
    for (size_t i = 0; i + 4 <= q.size(); i += 4) {
        // Each quad as the triangles 0 1 2 and 0 2 3.
        state.triangles.insert(state.triangles.end(), {q[i], q[i + 1], q[i + 2], q[i], q[i + 2], q[i + 3]});
    }
    drawTriangles();
}

void glColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha) {
    state.colour = {red, green, blue, alpha};
}

void glTexCoord2f(GLfloat s, GLfloat t) {
    state.texCoord = {s, t};
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
    if (!state.inBegin) return;
    const auto& c = state.colour;
    state.quadCorners.push_back({x, y, z, state.texCoord[0], state.texCoord[1], c[0], c[1], c[2], c[3]});
}

void glVertex3i(GLint x, GLint y, GLint z) {
    glVertex3f(GLfloat(x), GLfloat(y), GLfloat(z));
}

}  // extern "C"
