using System.Reflection;
using System.Runtime.InteropServices;

[assembly: AssemblyTitle("Corvane.Platform.Tessarine.UI.Standalone")]
[assembly: AssemblyDescription("Standalone application host of the Tessarine UI platform")]
[assembly: AssemblyCompany("Corvane")]
[assembly: AssemblyProduct("Lumenix")]
[assembly: AssemblyCopyright("Copyright (C) Corvane")]
[assembly: AssemblyVersion("1.1.1.511")]
[assembly: AssemblyFileVersion("1.1.1.511")]
[assembly: ComVisible(false)]
