// Links libmaskjpeg: from MASKJPEG_LIB_DIR when it is set (a build tree or
// an install's lib directory), else from the linker's own search path. The
// link needs the development name (libmaskjpeg.so, or maskjpeg.lib /
// libmaskjpeg.dll.a on Windows); the program then loads the soname.
fn main() {
    println!("cargo:rerun-if-env-changed=MASKJPEG_LIB_DIR");
    if let Ok(dir) = std::env::var("MASKJPEG_LIB_DIR") {
        println!("cargo:rustc-link-search=native={}", dir);
    }
    println!("cargo:rustc-link-lib=dylib=maskjpeg");
}
